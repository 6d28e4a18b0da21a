#include "hook/subclass_record.h"

#include "hook/pass_on_guard.h"
#include "hook/subclass_proc.h"
#include "module/state.h"

LOCALSUBCLASS LocalSubclasses[LOCAL_SUBCLASS_RECORDS];

namespace {

const char kMarkProperty[] = SUBCLASS_MARK_PROPERTY;

void Release(LOCALSUBCLASS* record) {
    record->PreviousProc = nullptr;
    record->Unicode = 0;
    record->Thread = 0;
    record->Mark = nullptr;
    InterlockedExchange(&record->Taken, 0);
}

// Frees the record if it still names `window`; a thread that lost the race
// (the owner dropping it while another thread found it stale) does nothing.
void Free(LOCALSUBCLASS* record, HWND window) {
    if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&record->Window), nullptr, window) == window)
        Release(record);
}

bool RunsOurs(const LOCALSUBCLASS* record);

// A record whose window is gone, or whose handle now belongs to another
// window: another thread's, or one that carries no mark and does not run
// ours. A mark that is not the record's own proves nothing: an older copy of
// the module may have written it over ours while ours still runs beneath
// its procedure, and freeing the record would cut the window's chain.
bool IsStale(const LOCALSUBCLASS* record, HWND window) {
    if (!IsWindow(window)) return true;
    if (GetWindowThreadProcessId(window, nullptr) != record->Thread) return true;
    if (record->Thread != GetCurrentThreadId()) return false;
    return GetPropA(window, kMarkProperty) == nullptr && !RunsOurs(record);
}

// Whether the window runs ReconvertEditProc itself, read in the form the
// procedure was installed with.
bool RunsOurs(const LOCALSUBCLASS* record) {
    LONG_PTR current = record->Unicode ? GetWindowLongPtrW(record->Window, GWLP_WNDPROC)
                                       : GetWindowLongPtrA(record->Window, GWLP_WNDPROC);
    return current == reinterpret_cast<LONG_PTR>(ReconvertEditProc);
}

}  // namespace

WNDPROC GetWindowProcedure(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

void SetWindowProcedure(HWND window, WNDPROC procedure, BOOL unicode) {
    LONG_PTR value = reinterpret_cast<LONG_PTR>(procedure);
    if (unicode)
        SetWindowLongPtrW(window, GWLP_WNDPROC, value);
    else
        SetWindowLongPtrA(window, GWLP_WNDPROC, value);
}

void ClearSharedSubclass(void) {
    SharedState.lpfnoldedit = nullptr;
    SharedState.SubclassedWindow = nullptr;
    SharedState.SubclassedUnicode = 0;
}

LOCALSUBCLASS* FindLocalSubclass(HWND window) {
    if (window == nullptr) return nullptr;
    DWORD thread = GetCurrentThreadId();
    for (LOCALSUBCLASS& record : LocalSubclasses)
        if (record.Window == window && record.Thread == thread) return &record;
    return nullptr;
}

void DropStaleSubclasses(void) {
    for (LOCALSUBCLASS& record : LocalSubclasses) {
        HWND window = record.Window;
        if (window != nullptr && IsStale(&record, window)) Free(&record, window);
    }
}

LOCALSUBCLASS* FindMarkedSubclass(HWND window) {
    DropStaleSubclasses();
    return FindLocalSubclass(window);
}

LOCALSUBCLASS* AddLocalSubclass(HWND window, WNDPROC previous, BOOL unicode) {
    for (LOCALSUBCLASS& record : LocalSubclasses) {
        if (InterlockedCompareExchange(&record.Taken, 1, 0) != 0) continue;
        // The record's address: no other record, and no other copy of the
        // module in this process, can write the same value.
        HANDLE mark = static_cast<HANDLE>(&record);
        if (!SetPropA(window, kMarkProperty, mark)) {
            InterlockedExchange(&record.Taken, 0);
            return nullptr;
        }
        record.PreviousProc = previous;
        record.Unicode = unicode;
        record.Thread = GetCurrentThreadId();
        record.Mark = mark;
        // Published last: other threads look only at records with a window.
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&record.Window), window);
        return &record;
    }
    return nullptr;
}

void DropLocalSubclass(LOCALSUBCLASS* record) {
    HWND window = record->Window;
    if (window == nullptr) return;
    if (IsWindow(window) && GetPropA(window, kMarkProperty) == record->Mark) RemovePropA(window, kMarkProperty);
    Free(record, window);
}

bool GiveBackLocalSubclass(LOCALSUBCLASS* record) {
    if (record->Window == nullptr || !RunsOurs(record)) return false;
    SetWindowProcedure(record->Window, record->PreviousProc, record->Unicode);
    DropLocalSubclass(record);
    return true;
}

void GiveBackThreadSubclasses(void) {
    DWORD thread = GetCurrentThreadId();
    for (LOCALSUBCLASS& record : LocalSubclasses)
        if (record.Window != nullptr && record.Thread == thread) GiveBackLocalSubclass(&record);
}

LRESULT CallPreviousProcedure(const LOCALSUBCLASS* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PASSONFRAME frame;
    if (!EnterPassOn(&frame, window, message)) return DefaultProcessing(window, message, wParam, lParam);
    // The record may be freed while the message is handled: read it first.
    WNDPROC previous = record->PreviousProc;
    LRESULT result = record->Unicode ? CallWindowProcW(previous, window, message, wParam, lParam)
                                     : CallWindowProcA(previous, window, message, wParam, lParam);
    LeavePassOn(&frame);
    return result;
}

LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsWindowUnicode(window)) return DefWindowProcW(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}
