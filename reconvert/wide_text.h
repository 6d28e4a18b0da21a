// The text of a Unicode window (positions in UTF-16 units) turned into the
// ANSI text that the byte-oriented work takes, and positions mapped between
// the two.
//
// Every UTF-16 character (one unit, or a surrogate pair) becomes exactly one
// ANSI character: one byte that is no lead byte, or a lead byte and one more.
// A character without an exact conversion (the code page lacks it, or its
// bytes convert back to another character), or whose conversion has another
// shape, becomes '?' (or, where '?' is a lead byte of a made-up code page,
// the first byte that is none): a one-byte character, which no run offered
// holds. So a walk over
// the bytes (a lead byte takes the next one along) meets the characters one
// for one, and each character's units are known from whether it was a
// surrogate pair.
#pragma once

#include <stdint.h>

enum {
    WIDE_TEXT_UNITS = 0xFFFF,                    // read limit in units, terminator included
    WIDE_PAIR_BITS = (2 * WIDE_TEXT_UNITS) / 8 + 1,  // one bit per byte of the converted text
};

// Converts the zero-terminated UTF-16 text at the start of `buffer` (at most
// WIDE_TEXT_UNITS units, in the platform's byte order) in place into
// zero-terminated ANSI text; the bytes written never overtake the units still
// to be read. Sets bit i of `pairBits` (one bit per byte written) when the
// character at byte i came from a surrogate pair, clears it otherwise (bits
// of a character's second byte are left as they were). Each of the `count`
// `positions` (UTF-16 units) is replaced by the byte offset of the character
// it lies in (a position inside a pair: the pair's start; past the text: the
// text's length). Returns the length of the ANSI text in bytes.
int ConvertWideText(unsigned char* buffer, unsigned char* pairBits, unsigned int* positions, int count);

// The window position of byte `offset` (a character start) of a text that
// ConvertWideText produced: UTF-16 units before it. With `pairBits` null the
// text is the window's own ANSI text and the position is `offset` itself.
int WindowPosition(const char* text, const unsigned char* pairBits, int offset);

// Writes into `positions` (length + 1 entries) the window position of each
// byte of text[start .. start + length]: a character start gets its position,
// a byte inside a character -1. The end (start + length) counts as a start.
void WindowPositions(const char* text, const unsigned char* pairBits, int start, int length, int* positions);

// The part of a UTF-16 text that one request's work reaches, converted so:
// for a caret (start == end), 16 characters on each side (16 bytes at least,
// more than the 15 the caret context takes on each side); for a selection,
// its first 64 characters (more than the 64 bytes handed back). The work on
// the part gives what it gives on the whole text converted, at a cost that
// does not grow with the text.
enum { CARET_PART_CHARACTERS = 16, SELECTION_PART_CHARACTERS = 64 };
enum { WIDE_PART_BYTES = 2 * (2 * SELECTION_PART_CHARACTERS + 2), WIDE_PART_BITS = WIDE_PART_BYTES / 8 + 1 };

typedef struct WIDEPART {
    int From;            // the window position (unit) where the part begins
    int Length;          // bytes of the converted part
    unsigned int Start;  // the selection's start, bytes of the part
    unsigned int End;    // its end
} WIDEPART;

// Converts the part of `text` (`length` units) about the selection `start`,
// `end` (units, either order) into `part` (WIDE_PART_BYTES) and `pairBits`
// (WIDE_PART_BITS); returns its length in bytes.
int ConvertWidePart(const uint16_t* text, int length, unsigned int start, unsigned int end, unsigned char* part,
                    unsigned char* pairBits, WIDEPART* out);
