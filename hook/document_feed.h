// IMEs of today ask an edit window for the text around the caret with
// WM_IME_REQUEST / IMR_DOCUMENTFEED, and convert the word being typed in its
// context. The system's edit control answers it with 0; so, once the control
// has had its say, the subclass answers it from the control's text.
#pragma once

#include "module/platform.h"

// `controlAnswer` is what the window's own procedure answered to the message.
// For an IMR_DOCUMENTFEED request that the control left at 0, the answer is
// the document feed built from the control's text (a size query answered
// with the record's size, a record filled in the window's own form, ANSI or
// UTF-16, the composition empty at the caret); every other answer stays. A
// record is filled only where it has room: its dwSize shows it, or the IME
// sized it from the module's answer to the size query (dwSize 0); a control
// that answered the size query itself and then left the fill gets nothing
// written past what its IME allocated.
LRESULT FeedWhenUnanswered(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT controlAnswer);
