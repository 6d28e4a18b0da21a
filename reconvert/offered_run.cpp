#include "reconvert/offered_run.h"

#include <string.h>

#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "reconvert/text_source.h"

static bool IsPair(const unsigned char* p) { return IsLeadByte(p[0]) && IsTrailByte(p[1]); }

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
    int start = caret;
    for (int steps = 0; steps < RUN_BEFORE_CARET; ++steps) {
        if (start < 2 || LastCharWidth(work, start - 1) != 2 || !IsPair(u + start - 2)) break;
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
