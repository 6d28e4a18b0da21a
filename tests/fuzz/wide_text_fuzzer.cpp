// A Unicode window's text turned into ANSI text and its positions mapped
// between UTF-16 units and bytes, on arbitrary UTF-16 (lone and paired
// surrogates, characters outside the code page, zero units ending it early)
// under every code-page choice; then the caret context and the selection
// taken from the converted text, and the window positions of what they hand
// back, as the edit-control text source does.
//
// Input: the code-page choice (see fuzz_support.h), the EM_GETSEL result
// (4 bytes: start in bits 15..0, end in bits 31..16, in units), then the
// UTF-16 text, two bytes a unit.
#include <string.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "reconvert/edit_context.h"
#include "reconvert/wide_text.h"

namespace {

bool High(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool Low(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ChooseCodePage(in);
    // A made-up code page whose every byte leads has no text that walks one
    // character for one: nothing to check.
    bool anySingle = false;
    for (int b = 1; b <= 0xFF; ++b) anySingle = anySingle || !IsLeadByte(static_cast<unsigned char>(b));
    if (!anySingle) return 0;
    uint32_t selection = in.U32();
    size_t units = in.Remaining() / 2;
    if (units > WIDE_TEXT_UNITS - 1) units = WIDE_TEXT_UNITS - 1;
    std::vector<uint16_t> wide(units + 1, 0);
    memcpy(wide.data(), in.Rest(), 2 * units);
    size_t length = 0;
    while (wide[length] != 0) ++length;

    // The buffer as the text source holds it: room for the read limit.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[2 * WIDE_TEXT_UNITS]);
    memcpy(buffer.get(), wide.data(), 2 * (length + 1));
    std::unique_ptr<unsigned char[]> pairBits(new unsigned char[WIDE_PAIR_BITS]);
    std::vector<unsigned int> positions(length + 2);
    for (size_t u = 0; u < positions.size(); ++u) positions[u] = static_cast<unsigned int>(u);
    positions.push_back(SelectionStart(selection));
    positions.push_back(SelectionEnd(selection));
    int bytes = ConvertWideText(buffer.get(), pairBits.get(), positions.data(), static_cast<int>(positions.size()));
    const char* text = reinterpret_cast<const char*>(buffer.get());
    FUZZ_CHECK(bytes >= 0 && static_cast<size_t>(bytes) <= 2 * length, "length %d for %zu units", bytes, length);
    FUZZ_CHECK(strlen(text) == static_cast<size_t>(bytes), "terminator at %zu, length %d", strlen(text), bytes);

    // Character starts on both sides, one for one.
    std::vector<bool> unitStarts(length + 1, true);
    for (size_t u = 0; u + 1 < length; ++u)
        if (High(wide[u]) && Low(wide[u + 1])) unitStarts[++u] = false;
    std::vector<bool> byteStarts = CharacterStarts(text, static_cast<size_t>(bytes), IsLeadByte, true);
    size_t characters = 0, walked = 0;
    for (size_t i = 0; i < static_cast<size_t>(bytes); ++i) walked += byteStarts[i];
    for (size_t u = 0; u < length; ++u) characters += unitStarts[u];
    FUZZ_CHECK(walked == characters, "%zu ANSI characters for %zu UTF-16 characters", walked, characters);

    unsigned int last = 0;
    for (size_t u = 0; u <= length + 1; ++u) {
        unsigned int b = positions[u];
        FUZZ_CHECK(b <= static_cast<unsigned int>(bytes) && byteStarts[b], "unit %zu maps to byte %u", u, b);
        FUZZ_CHECK(b >= last, "unit %zu maps to %u, before %u", u, b, last);
        if (u > 0 && u <= length && unitStarts[u]) FUZZ_CHECK(b > last, "unit %zu shares byte %u", u, b);
        if (u <= length) {
            size_t start = u;
            while (!unitStarts[start]) --start;
            int back = WindowPosition(text, pairBits.get(), static_cast<int>(b));
            FUZZ_CHECK(back == static_cast<int>(start), "unit %zu -> byte %u -> unit %d", u, b, back);
        }
        last = b;
    }

    // What the text source hands back, and the window positions it notes.
    unsigned int start = positions[length + 2], end = positions[length + 3];
    char out[EDIT_CONTEXT_OUT_SIZE];
    int from, handed;
    if (start != end) {
        from = SelectedText(text, bytes, start, end, out);
    } else {
        from = CaretContext(text, bytes, start, out).Start;
    }
    handed = static_cast<int>(strlen(out));
    FUZZ_CHECK(from >= 0 && from + handed <= bytes && memcmp(text + from, out, static_cast<size_t>(handed)) == 0,
               "handed back %d bytes from %d of %d", handed, from, bytes);
    int noted[EDIT_CONTEXT_OUT_SIZE];
    WindowPositions(text, pairBits.get(), from, handed, noted);
    for (int k = 0; k <= handed; ++k) {
        if (!byteStarts[static_cast<size_t>(from + k)]) {
            FUZZ_CHECK(noted[k] == -1, "byte %d inside a character has position %d", from + k, noted[k]);
            continue;
        }
        FUZZ_CHECK(noted[k] >= 0 && static_cast<size_t>(noted[k]) <= length && unitStarts[static_cast<size_t>(noted[k])],
                   "byte %d noted at unit %d", from + k, noted[k]);
        FUZZ_CHECK(noted[k] == WindowPosition(text, pairBits.get(), from + k), "byte %d", from + k);
    }
    return 0;
}
