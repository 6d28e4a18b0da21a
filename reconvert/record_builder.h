// Answers one IME request: a size query, a fill of the IME's record from the
// text source, or the confirmation of a reconversion.
#pragma once

#include "reconvert/text_source.h"

enum { REQUEST_DOCUMENT_FEED = 0, REQUEST_RECONVERT = 4, REQUEST_CONFIRM = 5 };

// kind: 0 document feed, 4 reconversion, 5 confirmation. record: the IME's
// RECONVERTSTRING, or null for a size query. unicode: 1 for a UTF-16 record.
// Returns 160 (size answered or record filled), 1 (confirmation passed on) or
// 0 (nothing to offer). A record whose dwSize is set and too small for what
// a fill would write is refused with 0 and left untouched; a dwSize of 0 (an
// IME that never sets it) stands for the 160 bytes answered to the size query.
int BuildReconvertString(HWND window, int kind, void* record, int unicode, TextSourceProc source);

// A document feed that the window's control left unanswered (IMR_DOCUMENTFEED
// answered 0). The IME may have sized the record from the control's own
// answer to the size query, so the record is filled only when its dwSize
// shows room for what is written, or when dwSize is 0 and `sizedHere` says
// the size query was answered by the module; otherwise 0, nothing written.
// A size query (no record) is answered with 160.
int BuildUnansweredFeed(HWND window, void* record, int unicode, TextSourceProc source, bool sizedHere);
