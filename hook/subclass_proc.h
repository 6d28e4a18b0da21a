// The window procedure installed on the one edit window an IME is
// addressing: answers the IME's requests from the window's text, passes
// everything else on to the window's own procedure, and lets go of the
// window when it loses the focus or is destroyed.
#pragma once

#include "hook/subclass_record.h"
#include "module/platform.h"

LRESULT CALLBACK ReconvertEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A click into a selection while the IME is open closes and reopens it, so
// that the IME drops what it holds before the click moves the caret.
void ResetImeOnClick(HWND window);

// Whether the window's chain of procedures may still reach this module's
// ReconvertEditProc: false when the window runs again the procedure ours
// replaced, or its class's own, so that another program that restored an
// older procedure cut ours out.
bool ChainReachesOurs(HWND window, const WINDOWRECORD* record);
