#include "hook/other_copy.h"

#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"

namespace {

HMODULE ModuleAt(LONG_PTR address) {
    HMODULE module = nullptr;
    if (address == 0 ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(address), &module))
        return nullptr;
    return module;
}

// A copy of the module, whatever its folder or release, exports
// InitReconvertEdit.
bool IsAnotherCopysProcedure(LONG_PTR procedure) {
    HMODULE module = ModuleAt(procedure);
    return module != nullptr && module != ModuleAt(reinterpret_cast<LONG_PTR>(ReconvertEditProc)) &&
           GetProcAddress(module, "InitReconvertEdit") != nullptr;
}

// A window that runs its class's own procedure reaches no copy of the
// module, whatever mark it carries: one left by a copy whose subclass a
// program cut out of the chain must not keep the window from being served.
// Both forms: a procedure read in the form it was not installed with comes
// back as a handle that converts.
bool RunsItsClassProcedure(HWND window) {
    return GetWindowLongPtrA(window, GWLP_WNDPROC) == static_cast<LONG_PTR>(GetClassLongPtrA(window, GCLP_WNDPROC)) ||
           GetWindowLongPtrW(window, GWLP_WNDPROC) == static_cast<LONG_PTR>(GetClassLongPtrW(window, GCLP_WNDPROC));
}

}  // namespace

bool ServedByAnotherCopy(HWND window) {
    if (GetPropA(window, SUBCLASS_MARK_PROPERTY) != nullptr && !RunsItsClassProcedure(window)) return true;
    // Both forms: a read in the form the procedure was not installed with
    // yields a handle that lies in no module.
    return IsAnotherCopysProcedure(GetWindowLongPtrA(window, GWLP_WNDPROC)) ||
           IsAnotherCopysProcedure(GetWindowLongPtrW(window, GWLP_WNDPROC));
}
