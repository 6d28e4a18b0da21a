// How the units a control counts its positions in are decided. The units
// are fixed when the control is created; IsWindowUnicode follows whatever
// procedure is on top, which may be another program's in the other form.
//
// Evidence, strongest first:
// - the control's whole length in its own units (the last line's index plus
//   that line's length) against the text's whole length in bytes and in
//   UTF-16 units: decisive wherever the text holds a character whose bytes
//   and units differ and the control's length is exactly one of the two,
//   however its lines break or wrap. The only answer kept for the window's
//   life. (Wine's EDIT counts characters even in an ANSI window, so this
//   comes before the form the window was created in.)
// - the form the window was created in, as the hook saw it;
// - for classes other than the system's edit, the form of the class's own
//   registered procedure;
// - the window's current form.
// All but the first are taken afresh at each request, so that a text that
// comes to decide later (the first double-byte character typed) still does.
#pragma once

#include <stdint.h>

#include "reconvert/window_record.h"

typedef struct UNITSEVIDENCE {
    int64_t ControlLength;  // the control's whole length in its own units; -1 when its answers tell none
    int64_t Bytes;          // the text's whole length in bytes of the ANSI code page; -1: more than Utf16, not counted
    int64_t Utf16;          // and in UTF-16 units
    int CreatedForm;        // UNITS_* of the window's creation, UNITS_UNKNOWN when unseen
    int ClassForm;          // UNITS_* of a non-system class's registered procedure, else UNITS_UNKNOWN
    int WindowForm;         // UNITS_* of the window's current procedure
} UNITSEVIDENCE;

// The units the evidence points to; `decisive` tells whether the answer
// may be kept for the window's life.
int DecideUnits(const UNITSEVIDENCE* evidence, bool* decisive);
