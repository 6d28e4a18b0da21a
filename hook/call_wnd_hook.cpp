#include "hook/hook.h"
#include "module/state.h"

LRESULT CALLBACK CallWndHookProc(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(SharedState.HookHandle, code, wParam, lParam);
}
