// The part of an edit control's text that one request can reach, read
// through the control's line messages instead of the whole text: the caret's
// line (or the selection's first line) and, where a line is wrapped, its
// neighbours across the soft breaks. So a text of any length costs what a
// short one costs.
//
// What a request needs is near the caret: the caret context reaches 16
// characters on each side and stops at a line break; a selection is handed
// back up to 64 characters. A line break ends every run offered, so a hard
// break (a gap between one line's end and the next line's index) ends the
// reading; a soft break (no gap) does not, and a run crossing it is offered
// whole.
//
// Nothing the control answers is trusted: a line that does not hold the
// position it was asked for, line indices that run backwards or overlap, or a
// copy of another length than the line's, make the whole part refused. Gaps
// are filled with line feeds (a hard break, whatever characters the control
// keeps there), so the positions of what follows stay right.
#pragma once

#include <stdint.h>

enum {
    PART_BACK_UNITS = 32,        // read before the caret: 16 characters, a surrogate pair each at most
    PART_CARET_AHEAD_UNITS = 34, // read after the caret: 16 such characters and a spare one
    PART_SELECTION_UNITS = 130,  // read of a selection: 64 such characters and a spare one
    PART_SIDE_LINES = 64,        // display lines read on each side of the caret's at most
};

// The control's line messages, sent by the platform layer (native tests
// answer them from a text of their own). Each result as the control gave it,
// widened: nothing is assumed about its range.
typedef struct LINECONTROL {
    void* Control;
    int64_t (*LineCount)(void* control);                      // EM_GETLINECOUNT
    int64_t (*LineFromChar)(void* control, uint32_t position);  // EM_LINEFROMCHAR
    int64_t (*LineIndex)(void* control, int64_t line);        // EM_LINEINDEX
    int64_t (*LineLength)(void* control, int64_t index);      // EM_LINELENGTH
    // EM_GETLINE: copies at most `room` units of line `line`, from its start,
    // to `out`, which has room for `room` units and 2 bytes more; the units
    // copied.
    int64_t (*GetLine)(void* control, int64_t line, unsigned char* out, int room);
} LINECONTROL;

enum PartOutcome {
    PART_READ,       // the part is in the buffer
    PART_NO_LINES,   // the control answers no line messages: read the whole text instead
    PART_REFUSED,    // the control's answers contradict each other: offer nothing
    PART_TOO_LONG,   // the part does not fit the buffer (a very long line): offer nothing
};

typedef struct LINEPART {
    uint32_t From;   // the window position where the part begins
    int Length;      // its units; a zero unit follows them
    uint32_t Start;  // the selection as reported (either order), units from the part's start; past
    uint32_t End;    // the part where the control reported it past the text
} LINEPART;

// Reads the part about the selection `start`, `end` (the control's units,
// either order, each clamped to the text's `length`; equal for a caret) into
// `buffer` (`capacity` units of `unitSize` bytes, 1 or 2, and 2 bytes more).
// No line may end past `length`. With `wholeLines` every line is read to its
// end, not only up to the reach: where the control's units are not known for
// certain, each line's copy then shows whether it came in those units (a
// line with a double-byte character copies another count in the other form).
PartOutcome ReadLinePart(const LINECONTROL* control, uint32_t length, uint32_t start, uint32_t end, int unitSize,
                         bool wholeLines, unsigned char* buffer, int capacity, LINEPART* out);
