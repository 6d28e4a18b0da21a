#include "reconvert/offered_run.h"

#include <string.h>

#include "module/byte_classes.h"
#include "reconvert/text_source.h"

static bool IsPair(const unsigned char* p) { return IsLeadByte(p[0]) && IsTrailByte(p[1]); }

// A byte that is not a lead byte ends the character it belongs to, alone or
// second in a pair, so the position after it begins a character when the
// text is read from its start: the nearest such position at or before
// `offset` (or the start) is where a walk to `offset` may begin.
static int CharacterStartAtOrBefore(const char* text, int offset) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(text);
    while (offset > 0 && IsLeadByte(u[offset - 1])) --offset;
    return offset;
}

bool IsDoubleByteRun(const char* text) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0; u[i] != 0; i += 2)
        if (!IsPair(u + i)) return false;
    return true;
}

int CaretRun(const char* source, int caret, char* out) {
    char work[SOURCE_BUFFER_SIZE];
    size_t length = strnlen(source, SOURCE_BUFFER_SIZE - 1);
    memcpy(work, source, length);
    work[length] = 0;
    const unsigned char* u = reinterpret_cast<const unsigned char*>(work);

    // Back from the caret, a character at a time, while the two bytes before
    // the position form one double-byte character read from the text's start.
    // Which positions within reach of the walk begin a character comes from
    // one walk forward, so the cost grows with the text once, not once per
    // character taken back.
    const int reach = 2 * RUN_BEFORE_CARET;
    const int low = caret > reach ? caret - reach : 0;
    bool begins[2 * RUN_BEFORE_CARET + 1] = {};
    for (int p = CharacterStartAtOrBefore(work, low); p < caret; p += IsLeadByte(u[p]) ? 2 : 1)
        if (p >= low) begins[p - low] = true;
    int start = caret;
    for (int steps = 0; steps < RUN_BEFORE_CARET; ++steps) {
        if (start < 2 || !begins[start - 2 - low] || !IsPair(u + start - 2)) break;
        start -= 2;
    }
    // Forward from the caret, taken as a character boundary.
    int end = caret;
    while (end < caret + 2 * RUN_AFTER_CARET && IsPair(u + end)) end += 2;
    work[end] = 0;

    memset(out, 0, SOURCE_BUFFER_SIZE);
    memcpy(out, work + start, end - start);
    return caret - start;
}
