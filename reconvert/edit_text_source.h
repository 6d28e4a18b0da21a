// The library's own text source for edit windows: answers the record
// builder from the window's text, selection and caret.
#pragma once

#include "module/platform.h"

// TSR_GETTEXT: writes the selection (result -1) or the context about the
// caret (result: the caret's offset in it, 0..15) into `buffer` (65 bytes at
// least). A control that answers the line messages has only the lines about
// the caret or selection read, whatever its text's length; one that does not
// has its whole text read. A password field, a line or text beyond the read
// limit, or line messages that contradict each other give the empty string
// and 0. Positions are in the control's own units (bytes, or UTF-16 units; a
// UTF-16 text is converted to the working code page around the caret or
// selection only; an ANSI text is served in the ANSI code page only), 32
// bits of them. TSR_CONFIRM: selects exactly the composition the IME
// confirmed, as the window's last reconversion fill offered it; nothing
// without such a fill; 0. Any other request: nothing, 0.
int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer);
