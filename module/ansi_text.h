// Conversion between the working code page (the process's ANSI code page
// unless a request entered another: working_code_page.h) and UTF-16.
#pragma once

#include <stdint.h>

// Clears `out` (capacity units) and converts the zero-terminated ANSI string
// `text`, terminator included, into it.
void AnsiToUtf16(const char* text, uint16_t* out, int capacity);

enum { ANSI_CHAR_ROOM = 4, ANSI_EXACT_UNITS = 256 };

// Converts `count` units of UTF-16 text (at most ANSI_EXACT_UNITS) into the
// ANSI code page: writes at most `room` bytes into `out` and returns their
// count; 0 when the conversion is not exact: the code page lacks a character
// (a best-fit look-alike or the default character would stand for it) or the
// bytes do not convert back to the same UTF-16.
int Utf16ToAnsiExact(const uint16_t* units, int count, char* out, int room);

// The same for one character (`count` 1, or 2 for a surrogate pair), into
// ANSI_CHAR_ROOM bytes.
inline int Utf16CharToAnsi(const uint16_t* units, int count, char* out) {
    return Utf16ToAnsiExact(units, count, out, ANSI_CHAR_ROOM);
}

// The bytes a character (`count` 1 or 2 units) takes in the process's ANSI
// code page, whatever code page a request works in: what a byte-counting
// control counts for it; 1 when that code page lacks it.
int AnsiCodePageBytes(const uint16_t* units, int count);

// True when the zero-terminated `text` (in the working code page) holds
// characters beyond ASCII and the process's ANSI code page holds every one
// of them, but not every character there is (as UTF-8 does). Where a request
// works in another code page than the ANSI one, such text may stand in a
// control of the ANSI code page under a Unicode procedure (as common-controls
// subclassing installs), which would turn the IME's result into '?'.
bool AnsiControlCouldHold(const char* text);

// The length in bytes of `count` units of UTF-16 text converted into the
// process's ANSI code page (whatever code page a request works in: what a
// byte-counting control counts), whatever stands for the characters it lacks.
int AnsiLength(const uint16_t* units, int count);
