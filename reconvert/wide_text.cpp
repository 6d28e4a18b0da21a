#include "reconvert/wide_text.h"

#include <string.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"

namespace {

uint16_t UnitAt(const unsigned char* buffer, int i) {
    uint16_t unit;
    memcpy(&unit, buffer + 2 * i, sizeof unit);
    return unit;
}

bool IsHighSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// '?' stands for a character the conversion gave in no usable shape, unless
// the code page takes '?' as a lead byte (a made-up one may): then the first
// byte that stands alone.
unsigned char Substitute() {
    if (!IsLeadByte('?')) return '?';
    for (int b = 0x21; b <= 0xFF; ++b)
        if (!IsLeadByte(static_cast<unsigned char>(b))) return static_cast<unsigned char>(b);
    for (int b = 0x01; b <= 0x20; ++b)
        if (!IsLeadByte(static_cast<unsigned char>(b))) return static_cast<unsigned char>(b);
    return '?';  // every byte leads: no text of this code page walks one for one
}

// One character's ANSI bytes, held to the shape a byte walk reads back: a
// single byte that is no lead byte, or a lead byte and a non-zero byte.
int CharBytes(const uint16_t* units, int count, unsigned char* out) {
    // The ANSI code pages are supersets of ASCII: no conversion needed.
    if (count == 1 && units[0] < 0x80 && !IsLeadByte(static_cast<unsigned char>(units[0]))) {
        out[0] = static_cast<unsigned char>(units[0]);
        return 1;
    }
    // Only an exact conversion stands for the character: a look-alike (a
    // best fit) or the default character would be offered, and written back,
    // in its place.
    char converted[ANSI_CHAR_ROOM] = {};
    int n = Utf16CharToAnsi(units, count, converted);
    unsigned char b0 = static_cast<unsigned char>(converted[0]), b1 = static_cast<unsigned char>(converted[1]);
    if (n == 1 && b0 != 0 && !IsLeadByte(b0)) {
        out[0] = b0;
        return 1;
    }
    if (n == 2 && IsLeadByte(b0) && b1 != 0) {
        out[0] = b0;
        out[1] = b1;
        return 2;
    }
    out[0] = Substitute();
    return 1;
}

int CharWidth(const unsigned char* t, int i) { return IsLeadByte(t[i]) && t[i + 1] != 0 ? 2 : 1; }

bool PairBit(const unsigned char* bits, int i) { return (bits[i >> 3] >> (i & 7)) & 1; }

bool IsLowAt(const uint16_t* w, int i) { return w[i] >= 0xDC00 && w[i] <= 0xDFFF; }
bool IsHighAt(const uint16_t* w, int i) { return w[i] >= 0xD800 && w[i] <= 0xDBFF; }

}  // namespace

int ConvertWideText(unsigned char* buffer, unsigned char* pairBits, unsigned int* positions, int count) {
    for (int k = 0; k < count; ++k)
        if (positions[k] > WIDE_TEXT_UNITS) positions[k] = WIDE_TEXT_UNITS;  // past any text
    int i = 0, o = 0;
    for (; i < WIDE_TEXT_UNITS - 1; ) {
        uint16_t units[2] = {UnitAt(buffer, i), 0};
        if (units[0] == 0) break;
        int width = 1;
        if (IsHighSurrogate(units[0]) && i + 1 < WIDE_TEXT_UNITS - 1) {
            units[1] = UnitAt(buffer, i + 1);
            if (IsLowSurrogate(units[1])) width = 2;
        }
        // Read before written: the output (at most 2 bytes for 2 or 4 bytes
        // read) stays at or behind the units being converted.
        unsigned char bytes[2];
        int n = CharBytes(units, width, bytes);
        for (int k = 0; k < count; ++k)
            if (positions[k] >= static_cast<unsigned int>(i) && positions[k] < static_cast<unsigned int>(i + width))
                positions[k] = static_cast<unsigned int>(o) | 0x80000000u;  // mapped
        // Only a character's first byte is ever looked up.
        unsigned char bit = static_cast<unsigned char>(1 << (o & 7));
        pairBits[o >> 3] = static_cast<unsigned char>(width == 2 ? pairBits[o >> 3] | bit : pairBits[o >> 3] & ~bit);
        memcpy(buffer + o, bytes, static_cast<size_t>(n));
        o += n;
        i += width;
    }
    buffer[o] = 0;
    for (int k = 0; k < count; ++k)
        positions[k] = positions[k] & 0x80000000u ? positions[k] & 0x7FFFFFFFu : static_cast<unsigned int>(o);
    return o;
}

int WindowPosition(const char* text, const unsigned char* pairBits, int offset) {
    if (pairBits == nullptr) return offset;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    int units = 0;
    for (int i = 0; i < offset && t[i] != 0; i += CharWidth(t, i)) units += PairBit(pairBits, i) ? 2 : 1;
    return units;
}

void WindowPositions(const char* text, const unsigned char* pairBits, int start, int length, int* positions) {
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    for (int k = 0; k <= length; ++k) positions[k] = -1;
    int position = WindowPosition(text, pairBits, start);
    int i = start;
    while (i < start + length) {
        positions[i - start] = position;
        int width = CharWidth(t, i);
        position += pairBits == nullptr ? width : (PairBit(pairBits, i) ? 2 : 1);
        i += width;
    }
    if (i == start + length) positions[length] = position;
}

int ConvertWidePart(const uint16_t* text, int length, unsigned int start, unsigned int end, unsigned char* part,
                    unsigned char* pairBits, WIDEPART* out) {
    if (start > end) {
        unsigned int swap = start;
        start = end;
        end = swap;
    }
    int lo = start > static_cast<unsigned int>(length) ? length : static_cast<int>(start);
    int hi = end > static_cast<unsigned int>(length) ? length : static_cast<int>(end);
    // Counted in characters (a surrogate pair is one), so that the part
    // holds as many bytes as it holds characters at least.
    int from = lo, to = lo;
    for (int k = 0; lo == hi && k < CARET_PART_CHARACTERS && from > 0; ++k)
        from -= from >= 2 && IsLowAt(text, from - 1) && IsHighAt(text, from - 2) ? 2 : 1;
    int ahead = lo == hi ? CARET_PART_CHARACTERS : SELECTION_PART_CHARACTERS;
    for (int k = 0; k < ahead && to < length && (lo == hi || to < hi); ++k)
        to += to + 1 < length && IsHighAt(text, to) && IsLowAt(text, to + 1) ? 2 : 1;
    // A selection that starts inside a pair starts at the pair.
    if (from > 0 && IsLowAt(text, from) && IsHighAt(text, from - 1)) --from;
    memcpy(part, text + from, sizeof(uint16_t) * static_cast<size_t>(to - from));
    memset(part + 2 * (to - from), 0, 2);
    unsigned int positions[2] = {start < static_cast<unsigned int>(from) ? 0 : start - static_cast<unsigned int>(from),
                                 end < static_cast<unsigned int>(from) ? 0 : end - static_cast<unsigned int>(from)};
    out->Length = ConvertWideText(part, pairBits, positions, 2);
    out->From = from;
    out->Start = positions[0];
    out->End = positions[1];
    return out->Length;
}
