// CallWndHookProc called directly, as the system calls it, with this
// process's own copy of the state records.
#include <gtest/gtest.h>
#include <windows.h>

#include "hook/hook.h"
#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/offer_record.h"
#include "reconvert/request_messages.h"
#include "rodavozi.h"
#include "support/local_records.h"

namespace {

int g_plainCalls, g_oldCalls;

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_plainCalls;
    return DefWindowProcA(window, message, wParam, lParam);
}

// The procedure of a window that had the handle before.
LRESULT CALLBACK OldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_oldCalls;
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
        msReconvert = RegisterWindowMessageA("MSIMEReconvert");
        SetRequestMessageIds(msReconvert, RegisterWindowMessageA("Atok Message for ReconvertString"),
                             RegisterWindowMessageA("MSIMEDocumentFeed"),
                             RegisterWindowMessageA("Atok Message for DocumentFeed"));
    }
    void TearDown() override {
        DestroyWindow(window);
        ClearSharedSubclass();
        for (WINDOWRECORD& record : WindowRecords) DropLocalSubclass(&record);
    }
    LRESULT Call(int code, UINT message, WPARAM wParam = IMR_RECONVERTSTRING) { return CallFor(window, code, message, wParam); }
    static LRESULT CallFor(HWND target, int code, UINT message, WPARAM wParam = IMR_RECONVERTSTRING) {
        CWPSTRUCT sent = {0, wParam, message, target};
        return CallWndHookProc(code, 0, reinterpret_cast<LPARAM>(&sent));
    }
    static LONG_PTR Proc(HWND target) { return GetWindowLongPtrA(target, GWLP_WNDPROC); }
    UINT msReconvert = 0;
};

TEST_F(HookProc, OnlyHcActionIsExamined) {
    for (int code : {-1, 1, 3, -100}) {
        Call(code, WM_IME_REQUEST);
        EXPECT_EQ(SharedState.SubclassedWindow, nullptr) << code;
        EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PlainProc)) << code;
    }
    Call(HC_ACTION, msReconvert);
    EXPECT_EQ(SharedState.SubclassedWindow, window);
    ASSERT_NE(FindLocalSubclass(window), nullptr);
    EXPECT_EQ(FindLocalSubclass(window)->PreviousProc, PlainProc);
}

TEST_F(HookProc, MessageZeroIsNoRequestEvenWithAFailedRegistration) {
    SetRequestMessageIds(msReconvert, 0, 0, 0);
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
    EXPECT_EQ(FindLocalSubclass(window)->PreviousProc, PlainProc);
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
    EXPECT_EQ(FindLocalSubclass(window)->PreviousProc, PlainProc) << "no loop back to the procedure on top";
    g_onTopCalls = 0;
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(g_onTopCalls, 1);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProc));
}

// A chain that leads back into ours ends a message in default processing
// after a few rounds, not in a stack overflow.
TEST_F(HookProc, AChainThatLoopsEndsInDefaultProcessing) {
    Call(HC_ACTION, WM_IME_REQUEST);
    FindLocalSubclass(window)->PreviousProc = OnTopProc;
    g_below = ReconvertEditProc;
    g_onTopCalls = 0;
    EXPECT_TRUE(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc")));
    EXPECT_TRUE(g_onTopCalls >= 1 && g_onTopCalls <= 16) << g_onTopCalls;
    FindLocalSubclass(window)->PreviousProc = PlainProc;
}

// An older copy of the module goes on top of ours and writes its mark over
// ours, later gives back and removes it: the window runs ours all along, so
// our record stays.
TEST_F(HookProc, AMarkNotOursNeverDropsTheRecord) {
    Call(HC_ACTION, WM_IME_REQUEST);
    g_below = ReconvertEditProc;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc));
    SetPropA(window, SUBCLASS_MARK_PROPERTY, reinterpret_cast<HANDLE>(1));
    Call(HC_ACTION, WM_IME_REQUEST);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReconvertEditProc));
    RemovePropA(window, SUBCLASS_MARK_PROPERTY);
    Call(HC_ACTION, WM_IME_REQUEST);
    g_plainCalls = 0;
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(g_plainCalls, 1) << "the window still reaches its own procedure";
}

// Another program bent the shared record: it names this window, with an
// address that is code in no process, and the Unicode flag. The window is
// still subclassed and served, the address is never called or installed,
// and the messages of an ANSI window stay ANSI.
TEST_F(HookProc, ABentSharedRecordIsNeverTrusted) {
    WNDPROC nowhere = reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(0x0BAD0000));
    SharedState.SubclassedWindow = window;
    SharedState.lpfnoldedit = nowhere;
    SharedState.SubclassedUnicode = 1;
    SetRequestMessageIds(msReconvert, 0, 0, 0);
    SharedState.MsgMsImeReconvert = WM_SETTEXT;
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(ReconvertEditProc)) << "the named window is served";
    EXPECT_EQ(SendMessageA(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    SharedState.lpfnoldedit = nowhere;
    SharedState.SubclassedWindow = window;
    g_plainCalls = 0;
    EXPECT_TRUE(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc")));
    EXPECT_EQ(g_plainCalls, 1) << "passed on to the recorded procedure";
    char text[8] = {};
    GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ(text, "abc");
    // The close of a status window over it, with the record pointing there.
    Call(HC_ACTION, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc)) << "given back its own procedure";
    SharedState.SubclassedWindow = window;
    SharedState.lpfnoldedit = nowhere;
    Call(HC_ACTION, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc)) << "nothing installed from the shared record";
}

// Another procedure installed on top of ours stays in the chain through the
// close of a status window, focus loss and destruction.
TEST_F(HookProc, AProcedureOnTopOfOursStaysInTheChain) {
    Call(HC_ACTION, WM_IME_REQUEST);
    g_below = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc)));
    ASSERT_EQ(g_below, ReconvertEditProc);
    Call(HC_ACTION, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(OnTopProc));
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(OnTopProc));
    ASSERT_NE(FindLocalSubclass(window), nullptr) << "the record stays while ours is under another";
    g_onTopCalls = g_plainCalls = 0;
    EXPECT_EQ(SendMessageA(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160) << "still served";
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(g_onTopCalls, 2);
    EXPECT_EQ(g_plainCalls, 1) << "and everything else still reaches the window's own procedure";
    // The procedure on top goes away again: the next focus loss gives back.
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_below));
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc));
    EXPECT_EQ(RecordCount(), 0);

    Call(HC_ACTION, WM_IME_REQUEST);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc));
    g_plainCalls = 0;
    DestroyWindow(window);
    EXPECT_GE(g_plainCalls, 2) << "WM_DESTROY and WM_NCDESTROY reach the window's own procedure";
    EXPECT_EQ(RecordCount(), 0);
}

// Another program that subclassed the window before us unsubclasses it: it
// restores the procedure it found, cutting ours out of the chain while our
// record of the window stays. The next request is served all the same.
TEST_F(HookProc, AWindowWhoseChainWasCutIsServedAgain) {
    g_below = PlainProc;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc));
    Call(HC_ACTION, WM_IME_REQUEST);
    ASSERT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(ReconvertEditProc));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProc));
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(SendMessageA(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160) << "served again";
    ASSERT_NE(FindLocalSubclass(window), nullptr);
    EXPECT_EQ(FindLocalSubclass(window)->PreviousProc, PlainProc) << "the procedure now below ours";
    EXPECT_EQ(RecordCount(), 1) << "the stale record went";
}

// A record whose window was destroyed without this process seeing it, its
// handle now naming another window (the mark property is what tells them
// apart): that window is subclassed afresh and never given the old
// procedure.
TEST_F(HookProc, AReusedHandleNeverReceivesTheOldProcedure) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldProc));
    Call(HC_ACTION, WM_IME_REQUEST);
    ASSERT_EQ(FindLocalSubclass(window)->PreviousProc, OldProc);
    // Now the handle stands for a new window: its own procedure, no mark.
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProc));
    RemovePropA(window, SUBCLASS_MARK_PROPERTY);
    Call(HC_ACTION, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc)) << "the old procedure was installed";
    g_oldCalls = 0;
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(ReconvertEditProc)) << "the new window is served";
    EXPECT_EQ(FindLocalSubclass(window)->PreviousProc, PlainProc);
    EXPECT_EQ(RecordCount(), 1);
    SendMessageA(window, WM_USER, 0, 0);
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(g_oldCalls, 0);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc));
}

// A mark on a window that runs its class's own procedure reaches no copy of
// the module, whoever wrote it: the window is served.
TEST_F(HookProc, AMarkOnAWindowRunningItsClassProcedureDoesNotCount) {
    SetPropA(window, SUBCLASS_MARK_PROPERTY, reinterpret_cast<HANDLE>(0x5EED));
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(ReconvertEditProc));
}

// A window given back, or answered through IsReconvertMsg, keeps its record
// until it is destroyed: none is left for a later window with its handle.
TEST_F(HookProc, ARecordGoesWithItsWindow) {
    Call(HC_ACTION, WM_IME_REQUEST);
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    ASSERT_NE(FindRecord(window), nullptr);
    Call(HC_ACTION, WM_NCDESTROY);
    EXPECT_EQ(FindRecord(window), nullptr) << "given back, then destroyed";
    NoteFeedSize(window, true);
    LRESULT answer = 0;
    EXPECT_EQ(IsReconvertMsg(window, WM_NCDESTROY, 0, 0, &answer, nullptr), 0);
    EXPECT_EQ(FindRecord(window), nullptr) << "answered through IsReconvertMsg, then destroyed";
}

// With every record taken (each window under a procedure installed after
// ours, so none can be given back), a further window is left as it is.
TEST_F(HookProc, WithEveryRecordTakenANewWindowIsLeftAlone) {
    HWND held[WINDOW_RECORDS];
    g_below = ReconvertEditProc;
    for (HWND& h : held) {
        h = CreateWindowA("kvexedit", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        CallFor(h, HC_ACTION, WM_IME_REQUEST);
        ASSERT_EQ(Proc(h), reinterpret_cast<LONG_PTR>(ReconvertEditProc));
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc));
    }
    EXPECT_EQ(RecordCount(), WINDOW_RECORDS);
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(PlainProc));
    EXPECT_EQ(SharedState.SubclassedWindow, nullptr);
    g_plainCalls = 0;
    for (HWND h : held) SendMessageA(h, WM_USER, 0, 0);
    EXPECT_EQ(g_plainCalls, WINDOW_RECORDS) << "every held window still reaches its own procedure";
    for (HWND h : held) DestroyWindow(h);
    EXPECT_EQ(RecordCount(), 0);
    Call(HC_ACTION, WM_IME_REQUEST);
    EXPECT_EQ(Proc(window), reinterpret_cast<LONG_PTR>(ReconvertEditProc));
}

}  // namespace
