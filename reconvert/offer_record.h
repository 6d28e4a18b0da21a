// What this thread offered an IME at its last fill, and which part of it the
// IME confirmed, kept so that the module's own edit-control text source
// selects exactly the composition the IME converts.
//
// The packed range of TSR_CONFIRM cannot say where a composition lies when
// it starts after the caret or inside a selection; so the builder and the
// edit-control text source note here, each its own part, what they handed
// out. A record belongs to one thread of this process and names the window
// it was made for; a confirmation that finds no record of a fill for its
// window selects nothing.
#pragma once

#include "module/platform.h"
#include "reconvert/edit_context.h"

typedef struct OFFERRECORD {
    HWND Window;            // the window of the fill; 0 when nothing is recorded
    // Noted by the edit-control text source at TSR_GETTEXT:
    int SourceNoted;        // 1 when the window's own text source handed the text back
    int HandedBackStart;    // where the text handed back begins, bytes of the ANSI text
    int HandedBackLength;   // its length in bytes
    int Positions[EDIT_CONTEXT_OUT_SIZE];  // window position of each byte of it (-1 inside a character)
    // Noted by the builder once it offered a run:
    int Offered;            // 1 when a run was offered
    int RunStart, RunLength;  // the run, bytes of the text handed back
    // Noted by the builder at the confirmation:
    int Confirmed;          // 1 when the composition lies within the run
    int CompStart, CompLength;  // the composition, bytes of the text handed back
} OFFERRECORD;

// This thread's record, held until ReleaseOfferRecord. Null when the thread's
// slot is held at this moment (another thread sharing the slot, or a request
// arriving inside a request): the caller then notes nothing, and a later
// confirmation selects nothing. A record found holding another thread's data
// comes back empty.
OFFERRECORD* ClaimOfferRecord(void);
void ReleaseOfferRecord(OFFERRECORD* record);

// Empties the thread's record and names `window` in it (a fill begins).
void StartOfferRecord(HWND window);

// The builder's notes, for the window named in the record only.
void NoteOfferedRun(HWND window, int runStart, int runLength);
// `compOffset` (bytes of the record's string) and `compLength` (bytes of an
// ANSI record, units of a UTF-16 one) as the IME confirmed them.
void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, int unicode);
// Forgets the fill once its confirmation is done.
void ForgetOffer(HWND window);

// The window positions that a confirmation selects, from a claimed record:
// true with `start` < `end` when the record holds a fill for `window` noted
// by the text source and the builder, and a composition within the offered
// run that begins and ends on characters; false otherwise. `byteStart` and
// `byteEnd` receive the same range in bytes of the ANSI text.
bool ConfirmedRange(const OFFERRECORD* record, HWND window, int* start, int* end, int* byteStart, int* byteEnd);
