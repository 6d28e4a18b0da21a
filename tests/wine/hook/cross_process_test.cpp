// The hook across processes. This process is the host: it owns the trace
// viewer, loads the DLL and installs the hook. scenario_partner.exe is the
// other process; it never loads the DLL itself. That a peer is served, and
// that a hostile writer of the shared section harms no process, the scenario
// table and the stress run show.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvexedit.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

// scenario_partner.exe in `mode`; it ends with the test that started it.
void StartPeer(ChildProcess* peer, const wchar_t* mode) {
    EXPECT_TRUE(peer->Start(TestFolder() + L"scenario_partner.exe", mode));
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
    StartPeer(&peer, L"hold");
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

// The host stops while an editor of another process is subclassed, and the
// module is freed there to no reference, as the system does when a hook is
// removed: the editor keeps working.
TEST_F(CrossProcess, AnEditorOfAnotherProcessOutlivesTheHost) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE unmap = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-unmap");
    ResetEvent(ready);
    ResetEvent(unmap);
    ChildProcess peer;
    StartPeer(&peer, L"unmap");
    ASSERT_TRUE(WaitPumping(ready, 30000));
    EXPECT_NE(Dll().EndReconvertEdit(), 0);
    SetEvent(unmap);
    EXPECT_EQ(Finish(peer), 0u) << "the peer's editor failed after the module was freed (exit 5: access violation)";
    CloseHandle(ready);
    CloseHandle(unmap);
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
}

}  // namespace
