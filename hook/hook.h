// The system-wide call-window-procedure hook that finds the edit window an
// IME is addressing.
#pragma once

#include "module/platform.h"

LRESULT CALLBACK CallWndHookProc(int code, WPARAM wParam, LPARAM lParam);
