// The yardstick of the hook benchmark: a system-wide call-window-procedure
// hook that does nothing but pass each message on. It is installed the way
// RODAVOZI.DLL installs its own (from a DLL, for every thread of the desktop,
// the hook handle kept in a shared section), so the two differ only in what
// the hook procedure does.
#include <windows.h>

namespace {
HINSTANCE g_instance;
}  // namespace

__attribute__((section(".share"), shared)) HHOOK volatile g_hook = nullptr;

extern "C" LRESULT CALLBACK EmptyCallWndHook(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

extern "C" __declspec(dllexport) int WINAPI InstallEmptyHook(void) {
    g_hook = SetWindowsHookExA(WH_CALLWNDPROC, EmptyCallWndHook, g_instance, 0);
    return g_hook != nullptr ? 1 : 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI RemoveEmptyHook(void) {
    if (g_hook == nullptr) return FALSE;
    BOOL removed = UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    return removed;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    return TRUE;
}
