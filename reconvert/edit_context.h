// What the edit-control text source hands to the record builder, computed
// from the window text and the selection that the control reports: a short
// context about the caret, or the selected text. Offsets are bytes of the
// ANSI text.
#pragma once

#include <stdint.h>

enum {
    WINDOW_TEXT_LIMIT = 0xFFFF,   // read limit for the window text, terminator included
    CONTEXT_REACH = 15,           // bytes of context taken on each side of the caret
    SELECTION_HANDED_BACK = 64,   // longest selection handed back
    EDIT_CONTEXT_OUT_SIZE = 65,   // room that `out` needs: 64 bytes and a terminator
};

// Bits 15..0 and 31..16 of an EM_GETSEL result.
inline unsigned int SelectionStart(uint32_t selection) { return selection & 0xFFFF; }
inline unsigned int SelectionEnd(uint32_t selection) { return selection >> 16; }

typedef struct CARETCONTEXT {
    int Caret;   // the caret used: clamped to the text, moved to a character's start
    int Start;   // where the context begins in the text
    int Result;  // the caret's offset in the context, 0..15
} CARETCONTEXT;

// Writes into `out` the context about byte offset `caret` of `text`, whose
// length is `length` (text[length] is zero; the caller knows the length from
// reading the text, so a long text is never measured again): from the first character boundary at or after 15
// bytes before the caret, but after the last full-width space and the last
// line break before it; up to the first control byte after the caret, at most
// 15 bytes on (16 when a two-byte character begins 14 bytes on).
CARETCONTEXT CaretContext(const char* text, int length, unsigned int caret, char* out);

// Writes into `out` the text between `start` and `end` of `text` of
// `length` bytes (text[length] is zero) (either order; each clamped to the text and moved to a character's
// start), cut to 64 bytes without splitting a two-byte character. Returns
// the offset in `text` where the selection written begins.
int SelectedText(const char* text, int length, unsigned int start, unsigned int end, char* out);
