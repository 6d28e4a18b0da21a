// The edit-control messages that read a window's selection and the part of
// its text about it, sent in the form that matches the units the control
// counts in (W for UTF-16 units, A for bytes; SendInForm), so that what comes
// back is in those units and no conversion of the system's stands between.
#pragma once

#include "module/platform.h"
#include "reconvert/line_part.h"

typedef struct EDITSELECTION {
    uint32_t Start, End;  // 32-bit positions, as the control keeps them
    uint32_t Packed;      // EM_GETSEL's own result: 16-bit halves, for the trace
} EDITSELECTION;

// EM_GETSEL with pointer arguments, so that positions past 65,535 come back
// whole; a control that writes nothing through them gives its result's
// halves.
EDITSELECTION ReadSelection(HWND window, bool wide);

// EM_SETSEL with 32-bit positions.
void SetSelection(HWND window, bool wide, uint32_t start, uint32_t end);

// Whether the control answers the line messages: it gives a line count.
bool AnswersLineMessages(HWND window, bool wide);

// ReadLinePart through the window's own line messages.
PartOutcome ReadEditPart(HWND window, bool wide, uint32_t length, uint32_t start, uint32_t end, bool wholeLines,
                         unsigned char* buffer, int capacity, LINEPART* out);
