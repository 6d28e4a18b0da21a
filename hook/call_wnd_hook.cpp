// The call-window-procedure hook: runs on the receiving thread before each
// sent message reaches its window, in every GUI process of the desktop. It
// subclasses the edit window that an IME addresses with a request and gives
// the window back when the IME closes its status window over it.
#include "hook/hook.h"
#include "hook/module_pin.h"
#include "hook/other_copy.h"
#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"
#include "module/dbcs_text.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/control_units.h"
#include "reconvert/request_messages.h"

namespace {

enum { CLASS_NAME_SIZE = 64 };

bool IsEditClass(HWND window) {
    char name[CLASS_NAME_SIZE];
    if (GetClassNameA(window, name, CLASS_NAME_SIZE) == 0) return false;
    return AsciiCaseCompare(name, "edit") == 0 || AsciiCaseCompare(name, "kvexedit") == 0;
}

// Whether the window runs ReconvertEditProc although this process has no
// record of it, read in the window's own form: the A read of a window that
// runs a W procedure yields a handle, not the procedure.
bool RunsOursUnrecorded(HWND target, WNDPROC examined, WNDPROC ours) {
    if (examined == ours) return true;
    return IsWindowUnicode(target) && GetWindowLongPtrW(target, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(ours);
}

// An IME request reached `target`: make it the one subclassed window.
//
// Every decision here stands on this process's own records and on the window
// itself; the shared record is only written, and read for the trace lines.
void SubclassRequestTarget(HWND target, UINT message) {
    // Already served: recorded here, whether it runs our procedure directly
    // or under one installed after it (subclassing it again would make that
    // procedure our previous one while it calls ours: an endless loop).
    WINDOWRECORD* served = FindMarkedSubclass(target);
    // Unless another program cut ours out of the chain: the stale subclass
    // ends and the window is subclassed afresh.
    if (served != nullptr && !ChainReachesOurs(target, served)) {
        EndLocalSubclass(served);
        served = nullptr;
    }
    if (served != nullptr || !IsEditClass(target)) return;

    WNDPROC ours = ReconvertEditProc;
    WNDPROC examined = GetWindowProcedure(target);
    ProcessState.ExaminedProc = examined;
    TraceMessage("query %x %x ", TRACE_HEX(examined), TRACE_HEX(ours));
    if (RunsOursUnrecorded(target, examined, ours)) return;
    // Another host's copy of the module serves it: it stays that copy's.
    if (ServedByAnotherCopy(target)) {
        TraceMessage("another copy %x ", TRACE_HEX(target));
        return;
    }

    HWND recorded = SharedState.SubclassedWindow;
    TraceMessage("(hwnd=%x %x %x %x %x %x)", TRACE_HEX(target), message, TRACE_HEX(recorded),
                 TRACE_HEX(SharedState.lpfnoldedit), TRACE_HEX(examined), TRACE_HEX(ours));
    if (recorded != nullptr) TraceMessage("\a subclass error ");
    // The windows this thread subclassed before get their own procedures
    // back. A recorded window of another process is not touched: its
    // procedure is an address in that process, which gives it back itself.
    GiveBackThreadSubclasses();

    if (examined == nullptr) {
        ClearSharedSubclass();
        TraceMessage("err=%d ", static_cast<int>(GetLastError()));
    } else {
        bool unicode = IsWindowUnicode(target) != FALSE;
        WINDOWRECORD* record = KeepModuleMapped() ? AddLocalSubclass(target, examined, unicode) : nullptr;
        if (record != nullptr) {
            MirrorSubclass(target, examined, unicode);
            TraceMessage("subclass ");
            SetWindowProcedure(target, ours, unicode);
        }
        // Not subclassed (no record to be had, the module not kept mapped)
        // or the replacement did not take: the window keeps its own procedure.
        if (record == nullptr || GetWindowProcedure(target) == examined) {
            TraceMessage("????? %x ", TRACE_HEX(examined));
            ClearSharedSubclass();
            if (record != nullptr) EndLocalSubclass(record);
        }
    }
    TraceMessage("set %x %x->%x ", TRACE_HEX(SharedState.SubclassedWindow), TRACE_HEX(SharedState.lpfnoldedit),
                 TRACE_HEX(ours));
}

// The IME closed its status window over `target`: release the subclassed
// windows that are `target` or lie inside it. This thread gives back its own
// windows from its records; the shared record is emptied when it names one
// of them, or a window inside `target` of another process.
void ReleaseOnStatusWindowClose(HWND target) {
    HWND recorded = SharedState.SubclassedWindow;
    bool sharedOver = recorded != nullptr && SharedState.lpfnoldedit != nullptr &&
                      (target == recorded || IsChild(target, recorded));
    bool ownOver = false;
    DWORD thread = GetCurrentThreadId();
    DropStaleSubclasses();
    for (WINDOWRECORD& record : WindowRecords) {
        HWND window = record.Window;
        if (window == nullptr || !record.Subclassed || record.Thread != thread) continue;
        if (window != target && !IsChild(target, window)) continue;
        ownOver = true;
        GiveBackLocalSubclass(&record);
    }
    if (!sharedOver && !ownOver) return;
    TraceMessage("*");
    if (sharedOver) ClearSharedSubclass();
}

// The window is being destroyed: its record goes with it, unless its
// subclass still reaches ReconvertEditProc, which drops the record itself
// when the message arrives there (after it passed it on to the window's own
// procedure, which needs the record).
void ForgetDestroyedWindow(HWND window) {
    WINDOWRECORD* subclassed = FindLocalSubclass(window);
    DropWindowRecord(window, subclassed != nullptr && ChainReachesOurs(window, subclassed));
    if (GetPropA(window, CREATED_FORM_PROPERTY) != nullptr) RemovePropA(window, CREATED_FORM_PROPERTY);
}

// A window of the system's edit class is being created: the form it is
// created in is the form its control counts positions in (the system picks
// the control's procedure by it), noted before anyone can subclass it.
void NoteCreatedForm(HWND window) {
    if (!IsSystemEditClass(window)) return;
    uintptr_t form = IsWindowUnicode(window) ? UNITS_UTF16 : UNITS_BYTES;
    SetPropA(window, CREATED_FORM_PROPERTY, reinterpret_cast<HANDLE>(form));
}

}  // namespace

LRESULT CALLBACK CallWndHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (IsRequestMessage(sent->message))
            SubclassRequestTarget(sent->hwnd, sent->message);
        else if (sent->message == WM_IME_NOTIFY && sent->wParam == IMN_CLOSESTATUSWINDOW)
            ReleaseOnStatusWindowClose(sent->hwnd);
        else if (sent->message == WM_NCDESTROY)
            ForgetDestroyedWindow(sent->hwnd);
        else if (sent->message == WM_NCCREATE)
            NoteCreatedForm(sent->hwnd);
    }
    return CallNextHookEx(SharedState.HookHandle, code, wParam, lParam);
}
