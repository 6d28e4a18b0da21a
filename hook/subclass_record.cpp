#include "hook/subclass_record.h"

#include "module/state.h"

LOCALSUBCLASS LocalSubclass = {0, 0, 0};

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

void GiveBackLocalWindow(void) {
    if (LocalSubclass.Window == nullptr) return;
    // A window without a recorded procedure is left as it is: installing 0
    // would leave it without any procedure at all.
    if (LocalSubclass.PreviousProc != nullptr)
        SetWindowProcedure(LocalSubclass.Window, LocalSubclass.PreviousProc, LocalSubclass.Unicode);
    LocalSubclass.Window = nullptr;
    LocalSubclass.PreviousProc = nullptr;
    LocalSubclass.Unicode = 0;
}

LRESULT CallPreviousProcedure(const LOCALSUBCLASS* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (record->Unicode) return CallWindowProcW(record->PreviousProc, window, message, wParam, lParam);
    return CallWindowProcA(record->PreviousProc, window, message, wParam, lParam);
}
