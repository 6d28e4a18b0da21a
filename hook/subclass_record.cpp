#include "hook/subclass_record.h"

#include "hook/pass_on_guard.h"
#include "hook/subclass_proc.h"
#include "module/state.h"

namespace {

const char kMarkProperty[] = SUBCLASS_MARK_PROPERTY;

bool RunsOurs(const WINDOWRECORD* record);

// A subclassed window's record whose window is gone, or whose handle now
// belongs to another window: another thread's, or one that carries no mark
// and does not run ours. A mark that is not the record's own proves nothing:
// an older copy of the module may have written it over ours while ours
// still runs beneath its procedure, and freeing the record would cut the
// window's chain.
bool IsStale(const WINDOWRECORD* record, HWND window) {
    if (!IsWindow(window)) return true;
    if (GetWindowThreadProcessId(window, nullptr) != record->Thread) return true;
    if (record->Thread != GetCurrentThreadId()) return false;
    return GetPropA(window, kMarkProperty) == nullptr && !RunsOurs(record);
}

// Whether the window runs ReconvertEditProc itself, read in the form the
// procedure was installed with.
bool RunsOurs(const WINDOWRECORD* record) {
    LONG_PTR current = record->Unicode ? GetWindowLongPtrW(record->Window, GWLP_WNDPROC)
                                       : GetWindowLongPtrA(record->Window, GWLP_WNDPROC);
    return current == reinterpret_cast<LONG_PTR>(ReconvertEditProc);
}

// Frees the record if it still names `window`; a thread that finds it held
// (its owner at work on it) leaves it for a later sweep.
void Free(WINDOWRECORD* record, HWND window) {
    if (!TakeRecord(record)) return;
    if (record->Window == window) ClearRecord(record);
    GiveRecord(record);
}

void ClearSubclass(WINDOWRECORD* record) {
    record->Subclassed = false;
    record->PreviousProc = nullptr;
    record->Unicode = false;
    record->Mark = nullptr;
}

void RemoveMark(const WINDOWRECORD* record) {
    HWND window = record->Window;
    if (window != nullptr && IsWindow(window) && GetPropA(window, kMarkProperty) == record->Mark)
        RemovePropA(window, kMarkProperty);
}

}  // namespace

WNDPROC GetWindowProcedure(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

void SetWindowProcedure(HWND window, WNDPROC procedure, bool unicode) {
    LONG_PTR value = reinterpret_cast<LONG_PTR>(procedure);
    if (unicode)
        SetWindowLongPtrW(window, GWLP_WNDPROC, value);
    else
        SetWindowLongPtrA(window, GWLP_WNDPROC, value);
}

void MirrorSubclass(HWND window, WNDPROC previous, bool unicode) {
    SharedState.lpfnoldedit = previous;
    SharedState.SubclassedWindow = window;
    SharedState.SubclassedUnicode = unicode ? TRUE : FALSE;
}

void ClearSharedSubclass(void) { MirrorSubclass(nullptr, nullptr, false); }

WINDOWRECORD* FindLocalSubclass(HWND window) {
    WINDOWRECORD* record = FindRecord(window);
    return record != nullptr && record->Subclassed ? record : nullptr;
}

void DropStaleSubclasses(void) {
    for (WINDOWRECORD& record : WindowRecords) {
        HWND window = record.Window;
        if (window != nullptr && record.Subclassed && IsStale(&record, window)) Free(&record, window);
    }
}

WINDOWRECORD* FindMarkedSubclass(HWND window) {
    DropStaleSubclasses();
    return FindLocalSubclass(window);
}

WINDOWRECORD* AddLocalSubclass(HWND window, WNDPROC previous, bool unicode) {
    HeldRecord record(window, CLAIM_FOR_WINDOW);
    if (!record) return nullptr;
    // The record's address: no other record, and no other copy of the
    // module in this process, can write the same value.
    HANDLE mark = static_cast<HANDLE>(record.get());
    if (!SetPropA(window, kMarkProperty, mark)) return nullptr;
    record->PreviousProc = previous;
    record->Unicode = unicode;
    record->Mark = mark;
    record->Subclassed = true;
    return record.get();
}

// The owning thread alone writes a record's subclass section; other threads
// take over only records without a subclass, and free one only when its
// window is gone or owned by another thread.
void EndLocalSubclass(WINDOWRECORD* record) {
    RemoveMark(record);
    ClearSubclass(record);
}

void DropLocalSubclass(WINDOWRECORD* record) {
    HWND window = record->Window;
    if (window == nullptr) return;
    RemoveMark(record);
    ClearSubclass(record);
    Free(record, window);
}

bool GiveBackLocalSubclass(WINDOWRECORD* record) {
    if (record->Window == nullptr || !record->Subclassed || !RunsOurs(record)) return false;
    SetWindowProcedure(record->Window, record->PreviousProc, record->Unicode);
    EndLocalSubclass(record);
    return true;
}

void GiveBackThreadSubclasses(void) {
    DWORD thread = GetCurrentThreadId();
    for (WINDOWRECORD& record : WindowRecords)
        if (record.Window != nullptr && record.Subclassed && record.Thread == thread) GiveBackLocalSubclass(&record);
}

LRESULT CallPreviousProcedure(WNDPROC previous, bool unicode, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    PASSONFRAME frame;
    if (!EnterPassOn(&frame, window, message)) return DefaultProcessing(window, message, wParam, lParam);
    LRESULT result = unicode ? CallWindowProcW(previous, window, message, wParam, lParam)
                             : CallWindowProcA(previous, window, message, wParam, lParam);
    LeavePassOn(&frame);
    return result;
}

LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsWindowUnicode(window)) return DefWindowProcW(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}
