#include "module/window_form.h"

bool IsUnicodeWindow(HWND window) { return window != nullptr && IsWindowUnicode(window) != FALSE; }

uint32_t CurrentThreadId(void) { return GetCurrentThreadId(); }
