// Conversion between the process's ANSI code page and UTF-16.
#pragma once

#include <stdint.h>

// Clears `out` (capacity units) and converts the zero-terminated ANSI string
// `text`, terminator included, into it.
void AnsiToUtf16(const char* text, uint16_t* out, int capacity);

enum { ANSI_CHAR_ROOM = 4 };

// Converts one character of UTF-16 text (`count` 1, or 2 for a surrogate
// pair) into the ANSI code page, a character the code page lacks into its
// default character. Writes the bytes into `out` (ANSI_CHAR_ROOM bytes) and
// returns their count; 0 when nothing was converted.
int Utf16CharToAnsi(const uint16_t* units, int count, char* out);
