// The last line of defence against a window's procedure chain that loops
// back into ReconvertEditProc (a subclasser that took ours as its previous
// procedure while ours leads to it): the loop would pass one message round
// until the stack overflows. Each thread keeps the messages it is passing
// on, innermost first, in frames on its own stack; the same message for the
// same window passed on again from inside its own pass-on, time after time,
// is taken for a loop and gets default processing instead.
#pragma once

#include "module/platform.h"

typedef struct PASSONFRAME {
    const struct PASSONFRAME* Outer;  // the pass-on this one runs inside, or null
    HWND Window;
    UINT Message;
    int Repeats;  // how many directly enclosing frames hold the same window and message
} PASSONFRAME;

// Enters `frame` as the calling thread's innermost pass-on of `message` for
// `window`. False when that would be a loop: then nothing is entered, and
// the bell trace line is written.
bool EnterPassOn(PASSONFRAME* frame, HWND window, UINT message);

// Leaves `frame`, entered by EnterPassOn on this thread.
void LeavePassOn(const PASSONFRAME* frame);
