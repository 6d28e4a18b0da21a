// Answers one IME request: a size query, a fill of the IME's record from the
// text source, or the confirmation of a reconversion.
#pragma once

#include "reconvert/text_source.h"

enum { REQUEST_DOCUMENT_FEED = 0, REQUEST_RECONVERT = 4, REQUEST_CONFIRM = 5 };

// kind: 0 document feed, 4 reconversion, 5 confirmation. record: the IME's
// RECONVERTSTRING, or null for a size query. unicode: 1 for a UTF-16 record.
// Returns 160 (size answered or record filled), 1 (confirmation passed on) or
// 0 (nothing to offer).
int BuildReconvertString(HWND window, int kind, void* record, int unicode, TextSourceProc source);
