// Conversion between the process's ANSI code page and UTF-16.
#pragma once

#include <stdint.h>

// Clears `out` (capacity units) and converts the zero-terminated ANSI string
// `text`, terminator included, into it.
void AnsiToUtf16(const char* text, uint16_t* out, int capacity);

enum { ANSI_CHAR_ROOM = 4 };

// Converts one character of UTF-16 text (`count` 1, or 2 for a surrogate
// pair) into the ANSI code page. Writes the bytes into `out` (ANSI_CHAR_ROOM
// bytes) and returns their count; 0 when the conversion is not exact: the
// code page lacks the character (a best-fit look-alike or the default
// character would stand for it) or its bytes do not convert back to the same
// UTF-16.
int Utf16CharToAnsi(const uint16_t* units, int count, char* out);
