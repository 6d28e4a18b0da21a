#include "hook/subclass_proc.h"

#include <imm.h>

#include "hook/document_feed.h"
#include "hook/subclass_record.h"
#include "module/state.h"
#include "module/trace.h"
#include "module/working_code_page.h"
#include "reconvert/dispatch.h"
#include "reconvert/edit_context.h"
#include "reconvert/edit_text_source.h"
#include "rodavozi.h"

namespace {

// The window is being destroyed: its record goes, and the mirror forgets it.
// Its own procedure still gets the message, since that is where a control
// frees what it holds (an edit control its text and state); without it every
// edit window destroyed while subclassed would leak them in its program.
LRESULT ForgetDestroyedWindow(HWND window, WPARAM wParam, LPARAM lParam) {
    TraceMessage("destory %x ", TRACE_HEX(window));
    if (window == SharedState.SubclassedWindow) ClearSharedSubclass();
    WINDOWRECORD* record = FindLocalSubclass(window);
    if (record == nullptr) {
        DropWindowRecord(window, false);
        return DefaultProcessing(window, WM_NCDESTROY, wParam, lParam);
    }
    WNDPROC previous = record->PreviousProc;
    bool unicode = record->Unicode;
    DropLocalSubclass(record);
    return CallPreviousProcedure(previous, unicode, window, WM_NCDESTROY, wParam, lParam);
}

// The window lost the focus: it gets its own procedure back, and the focus
// loss goes on to that procedure, which is where the control drops its caret
// and selection highlight and tells its parent (EN_KILLFOCUS). The mirror is
// emptied only while it still names this window; by now it may name a window
// of another process. With a procedure installed on top of ours the window
// cannot be given back: the subclass stays and the message is passed on like
// any other. The rest of the window's record stays with the window.
LRESULT GiveBackOnFocusLoss(HWND window, WINDOWRECORD* record, WPARAM wParam, LPARAM lParam) {
    TraceMessage("killfocus %x ", TRACE_HEX(window));
    WNDPROC previous = record->PreviousProc;
    bool unicode = record->Unicode;
    GiveBackLocalSubclass(record);
    if (window == SharedState.SubclassedWindow) ClearSharedSubclass();
    return CallPreviousProcedure(previous, unicode, window, WM_KILLFOCUS, wParam, lParam);
}

// Only the procedure this process recorded for this very window is ever
// called; a window running this procedure without a record gets the default
// processing in its own form.
LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WINDOWRECORD* record = FindLocalSubclass(window);
    if (record != nullptr)
        return CallPreviousProcedure(record->PreviousProc, record->Unicode, window, message, wParam, lParam);
    TraceMessage("\a lpfnoldedit=0 %d %x %x ", message, TRACE_HEX(window),
                 TRACE_HEX(GetWindowProcedure(window)));
    return DefaultProcessing(window, message, wParam, lParam);
}

}  // namespace

bool ChainReachesOurs(HWND window, const WINDOWRECORD* record) {
    // Read with the A call, as the record's previous procedure was: the same
    // procedure reads back as the same value.
    LONG_PTR current = GetWindowLongPtrA(window, GWLP_WNDPROC);
    LONG_PTR own = static_cast<LONG_PTR>(GetClassLongPtrA(window, GCLP_WNDPROC));
    // The procedure we found, or the class's own, running again can only
    // mean that ours was cut out: neither calls it. Any other procedure may
    // sit on top of ours and pass messages down to it.
    return current != reinterpret_cast<LONG_PTR>(record->PreviousProc) && current != own;
}

LRESULT CALLBACK ReconvertEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY && (FindLocalSubclass(window) != nullptr || window == SharedState.SubclassedWindow))
        return ForgetDestroyedWindow(window, wParam, lParam);
    WINDOWRECORD* record = message == WM_KILLFOCUS ? FindLocalSubclass(window) : nullptr;
    if (record != nullptr) return GiveBackOnFocusLoss(window, record, wParam, lParam);

    LRESULT answer;
    if (AnswerReconvertMsg(window, message, wParam, lParam, &answer, EditTextSource, RequestCodePage())) return answer;
    // Before the window sees the press, so the selection tested is the one
    // the click lands in.
    if (message == WM_LBUTTONDOWN) ResetImeOnClick(window);
    return FeedWhenUnanswered(window, message, wParam, lParam, PassOn(window, message, wParam, lParam));
}

void ResetImeOnClick(HWND window) {
    uint32_t selection = static_cast<uint32_t>(SendMessageA(window, EM_GETSEL, 0, 0));
    if (SelectionStart(selection) == SelectionEnd(selection)) return;
    HIMC context = ImmGetContext(window);
    if (context == nullptr) return;
    if (ImmGetOpenStatus(context)) {
        ImmSetOpenStatus(context, FALSE);
        ImmSetOpenStatus(context, TRUE);
    }
    ImmReleaseContext(window, context);
}
