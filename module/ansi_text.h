// Conversion of the process's ANSI text to UTF-16 for the IME's wide records.
#pragma once

#include <stdint.h>

// Clears `out` (capacity units) and converts the zero-terminated ANSI string
// `text`, terminator included, into it.
void AnsiToUtf16(const char* text, uint16_t* out, int capacity);
