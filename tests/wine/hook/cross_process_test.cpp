// The hook across processes. This process is the host: it owns the trace
// viewer, loads the DLL and installs the hook. hook_peer.exe is the other
// process; it never loads the DLL itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "kvexedit.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

// hook_peer.exe in `mode` (ASCII); it ends with the test that started it.
void StartPeer(ChildProcess* peer, const std::string& mode) {
    EXPECT_TRUE(peer->Start(TestFolder() + L"hook_peer.exe", std::wstring(mode.begin(), mode.end())));
}

DWORD Finish(ChildProcess& peer) {
    DWORD code = 99;
    EXPECT_TRUE(peer.WaitExit(30000, &code, true)) << "peer did not finish";
    return code;
}

class CrossProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CreateTraceWindow();
        ASSERT_NE(Dll().module, nullptr);
        ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
        RegisterKvexEditClass(GetModuleHandleA(nullptr));
    }
    static void TearDownTestSuite() { Dll().EndReconvertEdit(); }
    void SetUp() override { ClearTraceLines(); }
};

TEST_F(CrossProcess, APeerThatNeverLoadsTheDllIsServed) {
    ChildProcess peer;
    StartPeer(&peer, "serve");
    EXPECT_EQ(Finish(peer), 0u) << "the peer's checks failed (its output above says which)";
    // The peer's traces reached this process's viewer.
    std::vector<std::string> lines = TraceTexts();
    auto has = [&](const std::string& prefix) {
        for (const std::string& line : lines)
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    };
    EXPECT_TRUE(has("subclass "));
    EXPECT_TRUE(has("str=["));
    EXPECT_TRUE(has("confirm "));
    EXPECT_TRUE(has("destory "));
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr) << "the peer's window was forgotten when destroyed";
}

TEST_F(CrossProcess, TheHostsWindowKeepsWorkingWhenAPeerTakesTheRecord) {
    HWND own = CreateWindowA(KVEXEDIT_CLASS, "\x82\xA0\x82\xA2", WS_OVERLAPPEDWINDOW, 0, 0, 300, 60, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    LONG_PTR ownProc = GetWindowLongPtrA(own, GWLP_WNDPROC);
    SendMessageA(own, EM_SETSEL, 4, 4);
    ASSERT_EQ(SendMessageA(own, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    ASSERT_EQ(Shared()->SubclassedWindow, own);
    LONG_PTR subclassed = GetWindowLongPtrA(own, GWLP_WNDPROC);
    ASSERT_NE(subclassed, ownProc);

    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-quit");
    ResetEvent(ready);
    ResetEvent(quit);
    ChildProcess peer;
    StartPeer(&peer, "hold");
    ASSERT_TRUE(WaitPumping(ready, 30000));
    HWND peerWindow = Shared()->SubclassedWindow;
    EXPECT_NE(peerWindow, own) << "the peer's window took the record";
    EXPECT_NE(peerWindow, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(own, GWLP_WNDPROC), subclassed) << "another process cannot give it back";

    // This window still works through this process's own record.
    SetWindowTextA(own, "\x82\xA4\x82\xA6\x82\xA8");
    char text[16] = {};
    GetWindowTextA(own, text, sizeof text);
    EXPECT_STREQ(text, "\x82\xA4\x82\xA6\x82\xA8");
    SendMessageA(own, EM_SETSEL, 6, 6);
    alignas(8) BYTE record[160] = {};
    EXPECT_EQ(SendMessageA(own, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwStrLen, 6u);
    // Focus loss gives it its own procedure back; the peer's record stays.
    SendMessageA(own, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(GetWindowLongPtrA(own, GWLP_WNDPROC), ownProc);
    EXPECT_EQ(Shared()->SubclassedWindow, peerWindow);

    SetEvent(quit);
    EXPECT_EQ(Finish(peer), 0u);
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr);
    DestroyWindow(own);
    CloseHandle(ready);
    CloseHandle(quit);
}

HWND CreateEditor(const char* className, const char* text) {
    return CreateWindowA(className, text, WS_OVERLAPPEDWINDOW, 0, 0, 300, 60, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::string WindowText(HWND window) {
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Strings in read-only memory: a record written over one would fault.
const char kTitle[] = "read-only title";
const char kPasted[] = "XY";

// What a program does with its edit windows every day, checked byte for
// byte: setting the text, selecting, pasting.
void ExpectOrdinaryEditing(HWND window) {
    EXPECT_TRUE(SetWindowTextA(window, kTitle));
    EXPECT_EQ(WindowText(window), kTitle);
    SendMessageA(window, EM_SETSEL, 4, 9);
    DWORD start = 0, end = 0;
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 4u);
    EXPECT_EQ(end, 9u);
    SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kPasted));
    EXPECT_EQ(WindowText(window), "readXY title");
    EXPECT_STREQ(kTitle, "read-only title");
}

// A hostile program maps the module and writes its shared section: message
// numbers bent to everyday messages (or zeroed), the subclass record aimed
// at this process's edit window with an address that is code in no process,
// the hook handle zeroed. This process, the host, carries on unharmed.
TEST_F(CrossProcess, AHostileWriterHarmsNoOtherProcess) {
    HWND edit = CreateEditor("EDIT", "");
    HWND kvex = CreateEditor(KVEXEDIT_CLASS, "\x82\xA0\x82\xA2");
    ASSERT_NE(edit, nullptr);
    SendMessageA(kvex, EM_SETSEL, 4, 4);
    ASSERT_EQ(SendMessageA(kvex, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    const UINT msReconvert = RegisterWindowMessageA("MSIMEReconvert");
    const UINT atokFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
    std::vector<HWND> created;

    for (const char* how : {"bent", "zero"}) {
        SCOPED_TRACE(how);
        ChildProcess peer;
        StartPeer(&peer, std::string("hostile ") + how + " " + Hex(edit));
        ASSERT_EQ(Finish(peer), 0u);
        ASSERT_EQ(Shared()->MsgAtokDocumentFeed, strcmp(how, "bent") == 0 ? static_cast<UINT>(WM_SETTEXT) : 0u);
        ASSERT_EQ(Shared()->SubclassedWindow, edit);
        ASSERT_EQ(Shared()->HookHandle, nullptr);

        ExpectOrdinaryEditing(edit);
        ExpectOrdinaryEditing(kvex);
        // The real registered messages are still requests.
        SetWindowTextA(kvex, "\x82\xA0\x82\xA2\x82\xA4");
        SendMessageA(kvex, EM_SETSEL, 2, 2);
        alignas(8) BYTE record[160] = {};
        EXPECT_EQ(SendMessageA(kvex, msReconvert, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 160);
        EXPECT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwStrLen, 3u);
        EXPECT_EQ(SendMessageA(kvex, atokFeed, 0, reinterpret_cast<LPARAM>(record)), 160);
        EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160) << "the named window is served";
        // A new edit window is served.
        HWND fresh = CreateEditor(KVEXEDIT_CLASS, "\x82\xA0");
        created.push_back(fresh);
        EXPECT_EQ(SendMessageA(fresh, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
        ExpectOrdinaryEditing(fresh);
        SendMessageA(fresh, WM_KILLFOCUS, 0, 0);
        ExpectOrdinaryEditing(fresh);
    }
    // The host still removes its hook: a new window is no longer served.
    EXPECT_NE(Dll().EndReconvertEdit(), 0);
    HWND after = CreateEditor(KVEXEDIT_CLASS, "\x82\xA0");
    EXPECT_EQ(SendMessageA(after, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 0);
    ExpectOrdinaryEditing(edit);
    for (HWND window : {edit, kvex, after}) EXPECT_TRUE(DestroyWindow(window));
    for (HWND window : created) EXPECT_TRUE(DestroyWindow(window));
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
}

// The host stops while an editor of another process is subclassed, and the
// module is freed there to no reference, as the system does when a hook is
// removed: the editor keeps working.
TEST_F(CrossProcess, AnEditorOfAnotherProcessOutlivesTheHost) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE unmap = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-unmap");
    ResetEvent(ready);
    ResetEvent(unmap);
    ChildProcess peer;
    StartPeer(&peer, "unmap");
    ASSERT_TRUE(WaitPumping(ready, 30000));
    EXPECT_NE(Dll().EndReconvertEdit(), 0);
    SetEvent(unmap);
    EXPECT_EQ(Finish(peer), 0u) << "the peer's editor failed after the module was freed (exit 5: access violation)";
    CloseHandle(ready);
    CloseHandle(unmap);
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
}

}  // namespace
