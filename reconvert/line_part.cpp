#include "reconvert/line_part.h"

#include <string.h>

namespace {

struct Line {
    int64_t Number;
    int64_t Index;   // its first position
    int64_t Length;  // its units, before any line break
};

// The line's index and length, checked to lie within the text.
bool LineAt(const LINECONTROL* c, int64_t textLength, int64_t number, Line* line) {
    line->Number = number;
    line->Index = c->LineIndex(c->Control, number);
    if (line->Index < 0 || line->Index > textLength) return false;
    line->Length = c->LineLength(c->Control, line->Index);
    return line->Length >= 0 && line->Length <= textLength - line->Index;
}

void PutUnit(unsigned char* buffer, int unitSize, int64_t at, unsigned char value) {
    buffer[at * unitSize] = value;
    if (unitSize == 2) buffer[at * unitSize + 1] = 0;
}

bool HasZeroUnit(const unsigned char* units, int unitSize, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        if (units[i * unitSize] == 0 && (unitSize == 1 || units[i * unitSize + 1] == 0)) return true;
    return false;
}

}  // namespace

PartOutcome ReadLinePart(const LINECONTROL* c, uint32_t textLength, uint32_t start, uint32_t end, int unitSize,
                         bool wholeLines, unsigned char* buffer, int capacity, LINEPART* out) {
    const int64_t all = textLength;
    // A control may report a selection past its text: it ends there.
    const int64_t a = start < textLength ? start : all, b = end < textLength ? end : all;
    const int64_t lo = a < b ? a : b, hi = a < b ? b : a;
    const bool caret = lo == hi;
    const int64_t count = c->LineCount(c->Control);
    if (count <= 0) return PART_NO_LINES;

    // The caret's line must hold the caret.
    Line lines[2 * PART_SIDE_LINES + 1];
    Line* own = &lines[PART_SIDE_LINES];
    const int64_t number = c->LineFromChar(c->Control, static_cast<uint32_t>(lo));
    if (number < 0 || number >= count || !LineAt(c, all, number, own)) return PART_REFUSED;
    if (own->Index > lo || own->Index + own->Length < lo) return PART_REFUSED;

    // Back across soft breaks, while the caret context can reach. A selection
    // needs nothing before its start.
    Line* first = own;
    while (caret && lo - first->Index < PART_BACK_UNITS && first->Number > 0 && first > lines) {
        Line* before = first - 1;
        if (!LineAt(c, all, first->Number - 1, before)) return PART_REFUSED;
        const int64_t gap = first->Index - (before->Index + before->Length);
        if (gap < 0) return PART_REFUSED;
        if (gap > 0 || before->Length == 0) break;  // a hard break: nothing before it counts
        first = before;
    }

    // On to the end of the reach: across soft breaks for a caret (its context
    // stops at a hard break), across any for a selection, whose break, filled
    // in, makes it refused as one with a break is.
    // A selection's end may lie inside a character: the one after it is read.
    const int64_t reach = caret ? lo + PART_CARET_AHEAD_UNITS
                                : (hi < lo + PART_SELECTION_UNITS ? hi : lo + PART_SELECTION_UNITS) + 2;
    Line* last = own;
    while (last->Index + last->Length < reach && last->Number + 1 < count && last + 1 < lines + 2 * PART_SIDE_LINES + 1) {
        Line* next = last + 1;
        const int64_t lastEnd = last->Index + last->Length;
        if (!LineAt(c, all, last->Number + 1, next)) return PART_REFUSED;
        if (next->Index < lastEnd) return PART_REFUSED;
        if (next->Index + next->Length == lastEnd) break;  // nothing more to read
        if (caret && next->Index > lastEnd) break;
        last = next;
    }

    // Each line is copied from its start, up to the reach.
    const int64_t from = first->Index;
    const int64_t lastEnd = last->Index + last->Length;
    const int64_t length = (wholeLines || lastEnd < reach ? lastEnd : reach) - from;
    if (length + 1 > capacity) return PART_TOO_LONG;
    int64_t at = 0;
    for (Line* line = first; line <= last; ++line) {
        for (; at < line->Index - from && at < length; ++at) PutUnit(buffer, unitSize, at, '\n');
        const int64_t wanted = line->Length < length - at ? line->Length : length - at;
        if (wanted <= 0) continue;
        const int64_t copied = c->GetLine(c->Control, line->Number, buffer + at * unitSize, static_cast<int>(wanted));
        if (copied != wanted || HasZeroUnit(buffer + at * unitSize, unitSize, wanted)) return PART_REFUSED;
        at += wanted;
    }
    PutUnit(buffer, unitSize, length, 0);

    out->From = static_cast<uint32_t>(from);
    out->Length = static_cast<int>(length);
    // As the control reported them, so that a selection stays one; what
    // reads the part clamps them to it.
    out->Start = start - static_cast<uint32_t>(from);
    out->End = end - static_cast<uint32_t>(from);
    return PART_READ;
}
