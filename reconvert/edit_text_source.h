// The library's own text source for edit windows: answers the record
// builder from the window's text, selection and caret.
#pragma once

#include "module/platform.h"

// TSR_GETTEXT: writes the selection (result -1) or the context about the
// caret (result: the caret's offset in it, 0..15) into `buffer` (65 bytes at
// least). A password field, or a text of 65,535 bytes or more, gives the
// empty string and 0. Positions are bytes for an ANSI window, UTF-16 units
// for a Unicode one (its text is converted to the ANSI code page). TSR_CONFIRM:
// selects exactly the composition the IME confirmed, as this thread's last
// fill for the window offered it; nothing without such a fill; 0. Any other
// request: nothing, 0.
int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer);
