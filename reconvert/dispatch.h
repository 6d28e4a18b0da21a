// The module's own answers to IME requests, for the edit windows it serves:
// IsReconvertMsg's work with the text worked on in a code page of choice.
#pragma once

#include "module/platform.h"
#include "reconvert/text_source.h"

// Enters `codePage` (working_code_page.h) for one request, or the ANSI code
// page for an ANSI record (`unicode` 0): ANSI text is in the ANSI code page,
// for the IME as for the window. Where a request of the process works in
// another code page at that moment, `*source` becomes one that offers
// nothing, and false is returned: nothing to leave.
bool EnterRequestCodePage(unsigned int codePage, int unicode, TextSourceProc* source);

// As IsReconvertMsg, with the text worked on in `codePage`.
int AnswerReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer,
                       TextSourceProc source, unsigned int codePage);
