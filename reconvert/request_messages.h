// Recognition of the IME's request messages: WM_IME_REQUEST and the four
// registered messages whose numbers the module keeps in SharedState.
#pragma once

#include "module/platform.h"

// True for every message that carries an IME request, whatever its wParam.
// A registered number of 0 (a failed registration) never matches.
bool IsRequestMessage(UINT message);

// For a request that the module answers: its kind (0 document feed, 4 or 5
// reconversion) and whether it wants a UTF-16 record (for WM_IME_REQUEST that
// depends on the window: the caller decides). False when the message
// is no request or its wParam is not one the module answers.
bool ClassifyRequest(UINT message, WPARAM wParam, int* kind, int* unicode);
