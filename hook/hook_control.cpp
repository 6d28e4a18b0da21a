// Turning the service on and off: the host installs and removes the hook,
// for the whole desktop or for one thread at a time.
#include "hook/hook.h"
#include "module/state.h"
#include "rodavozi.h"

// The hook this process installed. SharedState.HookHandle receives a copy,
// but any program can write there; removing the hook goes by this one.
static HHOOK volatile g_ownHook = nullptr;

extern "C" int WINAPI InitReconvertEdit(DWORD) {
    // Thread 0: the hook covers every thread of the desktop, so the system
    // maps the module into every GUI process.
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CallWndHookProc, ProcessState.ModuleInstance, 0);
    g_ownHook = hook;
    SharedState.HookHandle = hook;
    return hook != nullptr ? 1 : 0;
}

extern "C" BOOL WINAPI EndReconvertEdit(void) {
    HHOOK hook = g_ownHook;
    if (hook == nullptr) return 0;
    BOOL result = UnhookWindowsHookEx(hook);
    g_ownHook = nullptr;
    SharedState.HookHandle = nullptr;
    return result;
}

extern "C" HHOOK WINAPI HookReconvertThread(DWORD threadId) {
    // Thread 0 would be a desktop-wide hook that EndReconvertEdit knows
    // nothing of: hosts get that one from InitReconvertEdit.
    if (threadId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return SetWindowsHookExA(WH_CALLWNDPROC, CallWndHookProc, ProcessState.ModuleInstance, threadId);
}
