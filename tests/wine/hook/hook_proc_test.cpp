// CallWndHookProc called directly, as the system calls it, with this
// process's own copy of the state records.
#include <gtest/gtest.h>
#include <windows.h>

#include "hook/hook.h"
#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"
#include "module/state.h"

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

class HookProc : public ::testing::Test {
protected:
    HWND window = nullptr;
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "kvexedit";
        RegisterClassA(&wc);
        window = CreateWindowA("kvexedit", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
        SharedState.MsgMsImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    }
    void TearDown() override {
        DestroyWindow(window);
        ClearSharedSubclass();
        LocalSubclass = LOCALSUBCLASS{};
    }
    LRESULT Call(int code, UINT message, WPARAM wParam = IMR_RECONVERTSTRING) {
        CWPSTRUCT sent = {0, wParam, message, window};
        return CallWndHookProc(code, 0, reinterpret_cast<LPARAM>(&sent));
    }
};

TEST_F(HookProc, OnlyHcActionIsExamined) {
    for (int code : {-1, 1, 3, -100}) {
        Call(code, WM_IME_REQUEST);
        EXPECT_EQ(SharedState.SubclassedWindow, nullptr) << code;
        EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PlainProc)) << code;
    }
    Call(HC_ACTION, SharedState.MsgMsImeReconvert);
    EXPECT_EQ(SharedState.SubclassedWindow, window);
    EXPECT_EQ(LocalSubclass.Window, window);
    EXPECT_EQ(LocalSubclass.PreviousProc, PlainProc);
}

TEST_F(HookProc, MessageZeroIsNoRequestEvenWithAFailedRegistration) {
    SharedState.MsgAtokDocumentFeed = 0;
    Call(HC_ACTION, 0, 0);
    EXPECT_EQ(SharedState.SubclassedWindow, nullptr);
}

TEST_F(HookProc, ARecordedWindowOfAnotherProcessIsNotTouched) {
    // A window recorded by another process, with a procedure address that
    // means nothing here: the record moves on, nothing is installed there.
    HWND elsewhere = reinterpret_cast<HWND>(0x12340);
    SharedState.SubclassedWindow = elsewhere;
    SharedState.lpfnoldedit = reinterpret_cast<WNDPROC>(0xDEAD0000);
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(SharedState.SubclassedWindow, window);
    EXPECT_EQ(SharedState.lpfnoldedit, PlainProc);
    EXPECT_EQ(LocalSubclass.PreviousProc, PlainProc);
}

WNDPROC g_below;  // what the procedure installed on top of ours calls next
int g_onTopCalls;

LRESULT CALLBACK OnTopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_onTopCalls;
    return CallWindowProcA(g_below, window, message, wParam, lParam);
}

TEST_F(HookProc, OurSubclassUnderAnotherIsNotSubclassedAgain) {
    Call(HC_ACTION, WM_IME_REQUEST);
    ASSERT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(ReconvertEditProc));
    // Another subclasser (another copy of the module, say) goes on top.
    g_below = ReconvertEditProc;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc));
    // The shared record moves to a window of another process.
    SharedState.SubclassedWindow = reinterpret_cast<HWND>(0x12340);
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(OnTopProc));
    EXPECT_EQ(LocalSubclass.PreviousProc, PlainProc) << "no loop back to the procedure on top";
    g_onTopCalls = 0;
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(g_onTopCalls, 1);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProc));
}

}  // namespace
