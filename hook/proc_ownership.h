// Whether a window procedure read from a window counts as the module's own
// subclass procedure.
#pragma once

#include <stdint.h>

// With `unicodeRule` 0 only the exact address counts. Otherwise the
// difference examined - ours, taken in 32 bits and read as signed, must be
// below 100: a procedure read back through the ANSI call from a window that
// was subclassed with the wide call is a value near, not at, ours.
bool RunsReconvertProc(uintptr_t examined, uintptr_t ours, int unicodeRule);
