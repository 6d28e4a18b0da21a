#include "module/window_form.h"

bool IsUnicodeWindow(HWND window) { return window != nullptr && IsWindowUnicode(window) != FALSE; }

uint32_t CurrentThreadId(void) { return GetCurrentThreadId(); }

bool WindowOfThread(HWND window, uint32_t thread) {
    return IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == thread;
}
