// PackConfirmRange with arbitrary record fields.
//
// Input: the caret offset kept from the fill (2 bytes: any offset a 16-bit
// distance can carry; fills keep 0..40), dwCompStrOffset and dwCompStrLen
// (4 bytes each), the encoding flag (a byte, bit 0).
#include "fuzz_support.h"
#include "reconvert/confirm_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint32_t caret = in.U16();
    uint32_t compOffset = in.U32(), compLength = in.U32();
    int unicode = in.Byte() & 1;

    uint32_t range = PackConfirmRange(static_cast<int>(caret), compOffset, compLength, unicode);
    uint32_t distance = RangeDistance(range), bytes = RangeLength(range);
    FUZZ_CHECK(RangeDistance(range) == range >> 16 && RangeLength(range) == (range & 0xFFFF),
               "fields of %08X read back wrong", range);

    // The range starts at a character boundary of the offered text, inside
    // it, at the composition string or just before it.
    FUZZ_CHECK(distance % 2 == 0, "odd distance %u", distance);
    FUZZ_CHECK(distance <= caret, "distance %u beyond the caret offset %u", distance, caret);
    if (compOffset >= caret) {
        FUZZ_CHECK(distance == 0, "distance %u for a composition at %u after the caret %u", distance, compOffset,
                   caret);
    } else {
        FUZZ_CHECK(distance + 1 >= caret - compOffset, "distance %u for a composition at %u, caret %u", distance,
                   compOffset, caret);
    }

    // The length in ANSI bytes, whatever the record's unit; a length too
    // long for 16 bits stays inside them, so that the distance read back is
    // the distance computed: two bytes per UTF-16 unit, an odd ANSI length
    // without its last byte.
    uint64_t want = unicode ? 2ull * compLength : compLength - compLength % 2;
    FUZZ_CHECK(bytes % 2 == 0, "odd length %u", bytes);
    FUZZ_CHECK(want <= 0xFFFE ? bytes == want : bytes >= 0x8000, "length %u for a composition of %u (%s)", bytes,
               compLength, unicode ? "UTF-16" : "ANSI");

    // Same composition, other encoding, equal lengths in bytes: same range.
    if (compLength <= 0x7FFFFFFF) {
        uint32_t asAnsi = PackConfirmRange(static_cast<int>(caret), compOffset, compLength * 2, 0);
        uint32_t asWide = PackConfirmRange(static_cast<int>(caret), compOffset, compLength, 1);
        FUZZ_CHECK(asAnsi == asWide, "ANSI %08X and UTF-16 %08X ranges differ", asAnsi, asWide);
    }
    return 0;
}
