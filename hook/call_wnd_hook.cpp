// The call-window-procedure hook: runs on the receiving thread before each
// sent message reaches its window, in every GUI process of the desktop. It
// subclasses the edit window that an IME addresses with a request and gives
// the window back when the IME closes its status window over it.
#include "hook/hook.h"
#include "hook/proc_ownership.h"
#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"
#include "module/dbcs_text.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/request_messages.h"

namespace {

enum { CLASS_NAME_SIZE = 64 };

bool IsEditClass(HWND window) {
    char name[CLASS_NAME_SIZE];
    if (GetClassNameA(window, name, CLASS_NAME_SIZE) == 0) return false;
    return AsciiCaseCompare(name, "edit") == 0 || AsciiCaseCompare(name, "kvexedit") == 0;
}

// An IME request reached `target`: make it the one subclassed window.
void SubclassRequestTarget(HWND target, UINT message) {
    HWND recorded = SharedState.SubclassedWindow;
    if (target == recorded || !IsEditClass(target)) return;

    WNDPROC ours = ReconvertEditProc;
    WNDPROC examined = GetWindowProcedure(target);
    ProcessState.ExaminedProc = examined;
    TraceMessage("query %x %x ", TRACE_HEX(examined), TRACE_HEX(ours));
    if (RunsReconvertProc(reinterpret_cast<uintptr_t>(examined), reinterpret_cast<uintptr_t>(ours),
                          SharedState.SubclassedUnicode))
        return;
    // This process's subclass is still in the window's chain, under a
    // procedure installed after it (the record having moved to another
    // process meanwhile). Subclassing again would make that procedure our
    // previous one while it calls ours: an endless loop.
    if (target == LocalSubclass.Window) return;

    TraceMessage("(hwnd=%x %x %x %x %x %x)", TRACE_HEX(target), message, TRACE_HEX(recorded),
                 TRACE_HEX(SharedState.lpfnoldedit), TRACE_HEX(examined), TRACE_HEX(ours));
    if (recorded != nullptr) TraceMessage("\a subclass error ");
    // The window this process subclassed before gets its own procedure back.
    // A recorded window of another process is not touched: its procedure is
    // an address in that process, and that process gives it back itself.
    if (LocalSubclass.Window != nullptr) GiveBackLocalWindow();

    SharedState.lpfnoldedit = examined;
    if (examined == nullptr) {
        SharedState.SubclassedWindow = nullptr;
        TraceMessage("err=%d ", static_cast<int>(GetLastError()));
    } else {
        BOOL unicode = IsWindowUnicode(target);
        SharedState.SubclassedWindow = target;
        SharedState.SubclassedUnicode = unicode;
        LocalSubclass.Window = target;
        LocalSubclass.PreviousProc = examined;
        LocalSubclass.Unicode = unicode;
        TraceMessage("subclass ");
        SetWindowProcedure(target, ours, unicode);
        if (GetWindowProcedure(target) == examined) {
            TraceMessage("????? %x ", TRACE_HEX(examined));
            SharedState.SubclassedWindow = nullptr;
            SharedState.lpfnoldedit = nullptr;
            LocalSubclass.Window = nullptr;
            LocalSubclass.PreviousProc = nullptr;
        }
    }
    TraceMessage("set %x %x->%x ", TRACE_HEX(SharedState.SubclassedWindow), TRACE_HEX(SharedState.lpfnoldedit),
                 TRACE_HEX(ours));
}

// The IME closed its status window over `target`: release the subclassed
// window if it is `target` or lies inside it.
void ReleaseOnStatusWindowClose(HWND target) {
    HWND recorded = SharedState.SubclassedWindow;
    if (recorded == nullptr || SharedState.lpfnoldedit == nullptr) return;
    if (target != recorded && !IsChild(target, recorded)) return;
    TraceMessage("*");
    if (recorded == LocalSubclass.Window) GiveBackLocalWindow();
    ClearSharedSubclass();
}

}  // namespace

LRESULT CALLBACK CallWndHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (IsRequestMessage(sent->message))
            SubclassRequestTarget(sent->hwnd, sent->message);
        else if (sent->message == WM_IME_NOTIFY && sent->wParam == IMN_CLOSESTATUSWINDOW)
            ReleaseOnStatusWindowClose(sent->hwnd);
    }
    return CallNextHookEx(SharedState.HookHandle, code, wParam, lParam);
}
