// The hook across processes. This process is the host: it owns the trace
// viewer, loads the DLL and installs the hook. hook_peer.exe is the other
// process; it never loads the DLL itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "kvexedit.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

PROCESS_INFORMATION StartPeer(const char* mode) {
    std::string command = "\"" + ExeDir() + "hook_peer.exe\" " + mode;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    return pi;
}

DWORD Finish(PROCESS_INFORMATION& pi) {
    EXPECT_TRUE(WaitPumping(pi.hProcess, 30000)) << "peer did not finish";
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
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
    PROCESS_INFORMATION pi = StartPeer("serve");
    EXPECT_EQ(Finish(pi), 0u) << "the peer's checks failed (its output above says which)";
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
    PROCESS_INFORMATION pi = StartPeer("hold");
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
    EXPECT_EQ(Finish(pi), 0u);
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr);
    DestroyWindow(own);
    CloseHandle(ready);
    CloseHandle(quit);
}

}  // namespace
