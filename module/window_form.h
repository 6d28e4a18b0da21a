// Whether a window takes its messages in UTF-16 (a window procedure of the
// W kind): its edit control then counts positions in UTF-16 units, and the
// input method manager hands it WM_IME_REQUEST records in UTF-16.
#pragma once

#include "module/platform.h"

bool IsUnicodeWindow(HWND window);

// The calling thread's identifier.
uint32_t CurrentThreadId(void);

// Whether `window` exists and is owned by thread `thread`.
bool WindowOfThread(HWND window, uint32_t thread);
