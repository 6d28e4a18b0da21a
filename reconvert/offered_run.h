// The run of double-byte characters offered to the IME: a selection must be
// one whole, a caret is widened to the run that touches it.
#pragma once

enum {
    SELECTION_LIMIT = 40,    // bytes of a selection offered (20 characters)
    RUN_BEFORE_CARET = 20,   // characters taken before the caret
    RUN_AFTER_CARET = 15,    // characters taken after the caret
};

// True when `text` is nothing but valid two-byte characters (a lead byte
// followed by a trail byte), pair after pair up to its terminator.
bool IsDoubleByteRun(const char* text);

// Finds the run of two-byte characters around byte offset `caret` of the
// zero-terminated `source` (caret on a character boundary, at most its length)
// and writes it, terminated, into `out` (256 bytes, cleared first; may be the
// same buffer as `source`). Returns the caret's byte offset in the run.
int CaretRun(const char* source, int caret, char* out);
