// The offer section of a window's record (window_record.h): what the
// window's last reconversion fill offered, and which part of it the IME
// confirmed, kept so that the module's own edit-control text source selects
// exactly the composition the IME converts. Only a reconversion fill of the
// window starts a new offer, so document feeds, which IMEs send at any
// moment, and requests to other windows never disturb it. A confirmation that
// finds no offer for its window selects nothing.
#pragma once

#include "module/platform.h"
#include "reconvert/window_record.h"

// A reconversion fill of `window` begins: its last offer is forgotten.
void StartOfferRecord(HWND window);
// The fill ends: the run offered (`runLength` 0: nothing offered) and the
// caret's byte offset in it. Nothing is noted after this until the next start.
void EndOfferRecord(HWND window, int runStart, int runLength, int caretOffset);
// The caret offset of the window's current offer: false when it has none.
bool OfferedCaret(HWND window, int* caretOffset);

// `compOffset` (bytes of the record's string) and `compLength` (bytes of an
// ANSI record, units of a UTF-16 one) as the IME confirmed them.
void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, bool unicode);
// Forgets the offer once its confirmation is done.
void ForgetOffer(HWND window);

// The window positions that a confirmation selects: true with `start` <
// `end` when the offer was noted by the text source and the builder, and
// holds a composition within the offered run that begins and ends on
// characters; false otherwise. `byteStart` and `byteEnd` receive the same
// range in bytes of the ANSI text.
bool ConfirmedRange(const OFFER* offer, int* start, int* end, int* byteStart, int* byteEnd);

// Whether the window's last IMR_DOCUMENTFEED size query was answered by the
// module (true) or by its control (false).
void NoteFeedSize(HWND window, bool sizedHere);
bool FeedSizedHere(HWND window);
