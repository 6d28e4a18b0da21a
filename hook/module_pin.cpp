#include "hook/module_pin.h"

#include "hook/subclass_proc.h"
#include "module/fault.h"
#include "module/platform.h"

bool KeepModuleMapped(void) {
    static LONG volatile pinned;
    if (pinned || FAULT_BUILT_IN(MODULE_UNPINNED)) return true;
    // The module that holds ReconvertEditProc: RODAVOZI.DLL, or the program
    // itself where the code is linked in.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCSTR>(ReconvertEditProc), &module))
        return false;
    InterlockedExchange(&pinned, 1);
    return true;
}
