#include "reconvert/edit_context.h"

#include <string.h>

#include "module/byte_classes.h"
#include "module/dbcs_text.h"

namespace {

typedef const unsigned char* Bytes;

// A lead byte begins a two-byte character unless the text ends right after
// it; a lone lead byte at the end counts as a character of its own, so no
// walk ever steps over the terminator.
int CharWidth(Bytes t, int i) { return IsLeadByte(t[i]) && t[i + 1] != 0 ? 2 : 1; }

// A byte that is not a lead byte ends the character it belongs to, whether
// it stands alone or second in a two-byte character, so the position after it
// is a character boundary. A walk to `offset` can start at the last such
// position at or before it instead of at the start of the text; the result is
// the same, and the cost depends on the distance, not on the offset.
int WalkStart(Bytes t, int offset) {
    int j = offset;
    while (j > 0 && IsLeadByte(t[j - 1])) --j;
    return j;
}

// The last character boundary at or before `offset` (at most the length).
int BoundaryAtOrBefore(Bytes t, int offset) {
    int p = WalkStart(t, offset);
    while (p < offset) {
        int next = p + CharWidth(t, p);
        if (next > offset) break;
        p = next;
    }
    return p;
}

// The first character boundary at or after `offset` (below the length).
int BoundaryAtOrAfter(Bytes t, int offset) {
    int p = WalkStart(t, offset);
    while (p < offset) p += CharWidth(t, p);
    return p;
}

bool IsFullWidthSpace(Bytes t, int i) { return t[i] == 0x81 && t[i + 1] == 0x40; }

int ClampToText(unsigned int offset, int length) {
    return offset > static_cast<unsigned int>(length) ? length : static_cast<int>(offset);
}

}  // namespace

CARETCONTEXT CaretContext(const char* text, int length, unsigned int caret, char* out) {
    Bytes t = reinterpret_cast<Bytes>(text);
    // A control may report a caret past its text or inside a character; the
    // caret used is the nearest boundary at or before it.
    int c = BoundaryAtOrBefore(t, ClampToText(caret, length));
    int start = c <= CONTEXT_REACH ? 0 : BoundaryAtOrAfter(t, c - CONTEXT_REACH);

    // The word before the caret begins after the last full-width space; only
    // two-byte characters can be one, so one-byte characters are skipped.
    int p = start;
    for (int i = start; i < c; i += CharWidth(t, i))
        if (CharWidth(t, i) == 2 && IsFullWidthSpace(t, i)) p = i + 2;

    // After the caret the context runs to the first control byte: the end of
    // the text, a line break, a tab. That includes a control byte standing
    // second in a character: code pages outside the built-in list take every
    // byte from 01 as a trail byte, and a line feed taken in here would move
    // the line start below past the caret.
    int e = c;
    while (e < c + CONTEXT_REACH && t[e] >= 0x20 && (CharWidth(t, e) == 1 || t[e + 1] >= 0x20))
        e += CharWidth(t, e);

    // Only the caret's own line: start after the last line break before it.
    // Neither byte stands second in a two-byte character, so a bytewise
    // search is safe.
    for (int q = p; q < e; ++q)
        if (t[q] == '\r' || t[q] == '\n') p = q + 1;

    memcpy(out, text + p, static_cast<size_t>(e - p));
    out[e - p] = 0;
    CARETCONTEXT context = {c, p, c - p};
    return context;
}

int SelectedText(const char* text, int length, unsigned int start, unsigned int end, char* out) {
    Bytes t = reinterpret_cast<Bytes>(text);
    if (start > end) {
        unsigned int swap = start;
        start = end;
        end = swap;
    }
    // Whole characters only: a bound inside a character moves to its start.
    int a = BoundaryAtOrBefore(t, ClampToText(start, length));
    int b = BoundaryAtOrBefore(t, ClampToText(end, length));
    int n = b - a < SELECTION_HANDED_BACK ? b - a : SELECTION_HANDED_BACK;
    memcpy(out, text + a, static_cast<size_t>(n));
    out[n] = 0;
    TruncateDbcs(out, SELECTION_HANDED_BACK);
    return a;
}
