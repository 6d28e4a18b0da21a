// What a window was offered at its last reconversion fill, and which part of
// it the IME confirmed, kept so that the module's own edit-control text
// source selects exactly the composition the IME converts; with it, what the
// module learnt about the window that holds for its whole life.
//
// The packed range of TSR_CONFIRM cannot say where a composition lies when
// it starts after the caret or inside a selection; so the builder and the
// edit-control text source note here, each its own part, what they handed
// out. The record belongs to the window (and the thread that owns it): only
// a reconversion fill of that window starts a new offer, so document feeds,
// which IMEs send at any moment, and requests to other windows never disturb
// it. A confirmation that finds no offer for its window selects nothing.
#pragma once

#include "module/platform.h"
#include "reconvert/edit_context.h"

// The units a control counts its positions in, fixed when it was created;
// UNITS_WINDOW_FORM when the control's answer told neither (it does not
// answer EM_LINELENGTH, or wraps its lines): the window's form then decides.
enum { UNITS_UNKNOWN = 0, UNITS_BYTES = 1, UNITS_UTF16 = 2, UNITS_WINDOW_FORM = 3 };

typedef struct OFFERRECORD {
    HWND Window;            // the window; 0 when the record is free
    // Of the window, kept while the record lasts:
    int Units;              // UNITS_*: what its control counts positions in, once learnt
    int FeedSizedHere;      // 1 when the last IMR_DOCUMENTFEED size query was answered by the module
    // Of the offer, started by each reconversion fill of the window:
    int Collecting;         // 1 between the start of a reconversion fill and its end
    int SourceNoted;        // 1 when the window's own text source handed the text back
    int HandedBackStart;    // where the text handed back begins, bytes of the ANSI text
    int HandedBackLength;   // its length in bytes
    int Positions[EDIT_CONTEXT_OUT_SIZE];  // window position of each byte of it (-1 inside a character)
    int Offered;            // 1 when a run was offered
    int RunStart, RunLength;  // the run, bytes of the text handed back
    int CaretOffset;        // the caret's byte offset in the string offered
    // Noted by the builder at the confirmation:
    int Confirmed;          // 1 when the composition lies within the run
    int CompStart, CompLength;  // the composition, bytes of the text handed back
} OFFERRECORD;

// The record of `window` on this thread, held until ReleaseOfferRecord; with
// `create`, a free or the least recently used record is taken for it. Null
// when there is none, or it is held at this moment (a request arriving inside
// a request, or another thread taking the same free record): the caller then
// notes nothing, and a later confirmation selects nothing.
OFFERRECORD* ClaimOfferRecord(HWND window, bool create);
void ReleaseOfferRecord(OFFERRECORD* record);

// A reconversion fill of `window` begins: its last offer is forgotten.
void StartOfferRecord(HWND window);
// The fill ends: the run offered (`runLength` 0: nothing offered) and the
// caret's byte offset in it. Nothing is noted after this until the next start.
void EndOfferRecord(HWND window, int runStart, int runLength, int caretOffset);
// The caret offset of the window's current offer: false when it has none.
bool OfferedCaret(HWND window, int* caretOffset);

// `compOffset` (bytes of the record's string) and `compLength` (bytes of an
// ANSI record, units of a UTF-16 one) as the IME confirmed them.
void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, int unicode);
// Forgets the offer once its confirmation is done.
void ForgetOffer(HWND window);

// The window positions that a confirmation selects, from a claimed record:
// true with `start` < `end` when the record holds an offer noted by the text
// source and the builder, and a composition within the offered run that
// begins and ends on characters; false otherwise. `byteStart` and `byteEnd`
// receive the same range in bytes of the ANSI text.
bool ConfirmedRange(const OFFERRECORD* record, int* start, int* end, int* byteStart, int* byteEnd);

// Whether the window's last IMR_DOCUMENTFEED size query was answered by the
// module (1) or by its control (0).
void NoteFeedSize(HWND window, int sizedHere);
bool FeedSizedHere(HWND window);

// The window is being destroyed: its record goes, so that a later window
// given the same handle learns its own units and has no offer.
void DropOfferRecord(HWND window);
