// The range that a confirmation asks the text source to select, packed into
// 32 bits: bits 31..16 the bytes from the range's start forward to the caret,
// bits 15..0 the range's length in bytes.
#pragma once

#include <stdint.h>

// Packs the range of the IME's composition string: `caretOffset` is where the
// caret stood in the string handed to the IME, `compOffset` and `compLength`
// come from the IME's record (length in units for a UTF-16 record, in bytes
// for an ANSI one).
uint32_t PackConfirmRange(int caretOffset, uint32_t compOffset, uint32_t compLength, int unicode);

inline unsigned int RangeDistance(uint32_t range) { return range >> 16; }
inline unsigned int RangeLength(uint32_t range) { return range & 0xFFFF; }
