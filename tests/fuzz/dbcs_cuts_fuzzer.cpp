// Byte classes, TruncateDbcs and LastCharWidth under every built-in code page,
// a single-byte one and made-up code-page descriptions.
//
// Input: the code-page choice (see fuzz_support.h), two bytes of a signed
// limit n for TruncateDbcs, then the text.
#include <string.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"

namespace {

// The classes a made-up description must give: lead bytes from the pairs of
// its list up to the first pair with a zero byte, every byte 01..FE a trail
// byte; nothing at all for a single-byte description.
void CheckMadeUpTable(const CODEPAGEDESCRIPTION& d) {
    bool lead[256] = {};
    bool multiByte = d.MaxCharSize >= 2;
    if (multiByte) {
        for (int i = 0; i < 12; i += 2) {
            int first = d.LeadByte[i], last = d.LeadByte[i + 1];
            if (first == 0 || last == 0) break;
            for (int b = first; b <= last; ++b) lead[b] = true;
        }
    }
    for (int b = 0; b < 256; ++b) {
        unsigned char u = static_cast<unsigned char>(b);
        FUZZ_CHECK(IsLeadByte(u) == lead[b], "made-up page: lead flag of %02X", b);
        bool trail = multiByte && b >= 0x01 && b <= 0xFE;
        FUZZ_CHECK(IsTrailByte(u) == trail, "made-up page: trail flag of %02X", b);
    }
}

// What the text handling of the module takes for granted in the built-in pages.
void CheckBuiltInTable(unsigned int codePage) {
    FUZZ_CHECK(!IsLeadByte(0) && !IsTrailByte(0), "byte 00 has a class in %u", codePage);
    FUZZ_CHECK(!IsLeadByte(0xFF), "FF is a lead byte in %u", codePage);
    bool anyLead = false;
    for (int b = 0; b <= 0x80; ++b)
        FUZZ_CHECK(!IsLeadByte(static_cast<unsigned char>(b)), "low lead byte %02X in %u", b, codePage);
    for (int b = 0x81; b < 0xFF; ++b) anyLead = anyLead || IsLeadByte(static_cast<unsigned char>(b));
    FUZZ_CHECK(codePage == 1252 || anyLead, "double-byte page %u has no lead byte", codePage);
    // A line break never hides as the second byte of a character.
    FUZZ_CHECK(!IsTrailByte('\r') && !IsTrailByte('\n'), "CR or LF is a trail byte in %u", codePage);
}

// Cuts the text with limit n in a buffer of exactly n + 1 bytes (the least
// the caller must provide) and checks the outcome.
void CheckTruncate(const uint8_t* text, size_t length, int n) {
    size_t capacity = n > 0 ? static_cast<size_t>(n) + 1 : 1;
    std::vector<uint8_t> original(capacity);
    // The text, its terminator when it fits, and behind the terminator the
    // text once more: bytes there are garbage the cut must not be misled by.
    for (size_t i = 0; i < capacity; ++i) {
        if (i < length) original[i] = text[i];
        else if (i == length) original[i] = 0;
        else original[i] = length ? text[i % length] : 0x82;
    }
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
    memcpy(buffer.get(), original.data(), capacity);
    char* s = reinterpret_cast<char*>(buffer.get());
    FUZZ_CHECK(TruncateDbcs(s, n) == s, "TruncateDbcs returns another pointer");

    size_t cut = strnlen(s, capacity);
    FUZZ_CHECK(cut < capacity, "no terminator within n + 1 = %zu bytes", capacity);
    FUZZ_CHECK(n > 0 || cut == 0, "n = %d leaves %zu bytes", n, cut);
    FUZZ_CHECK(memcmp(buffer.get(), original.data(), cut) == 0, "the result is not a prefix");
    size_t changed = 0;
    for (size_t i = 0; i < capacity; ++i) {
        if (buffer[i] == original[i]) continue;
        ++changed;
        FUZZ_CHECK(buffer[i] == 0, "byte %zu changed to %02X, not to a terminator", i, buffer[i]);
    }
    FUZZ_CHECK(changed <= 1, "%zu bytes changed", changed);

    if (n > 0 && original[cut] != 0) {
        // Something was cut off: the end is a character boundary of the text
        // read from its start, and no more than the straddling character is lost.
        std::vector<bool> starts = CharacterStarts(original.data(), static_cast<size_t>(n));
        FUZZ_CHECK(starts[cut], "cut at %zu splits a character (n = %d)", cut, n);
        bool straddles = LeadStartsAt(starts, original.data(), static_cast<size_t>(n) - 1);
        FUZZ_CHECK(cut == static_cast<size_t>(n) || (straddles && cut == static_cast<size_t>(n) - 1),
                   "cut at %zu for n = %d (straddling character: %d)", cut, n, straddles);
    }

    // Byte n may be anything, the terminator included: it is never read.
    if (n >= 0) {
        std::vector<uint8_t> other(original);
        other[n] = static_cast<uint8_t>(other[n] == 0 ? 0x82 : 0);
        std::unique_ptr<uint8_t[]> again(new uint8_t[capacity]);
        memcpy(again.get(), other.data(), capacity);
        TruncateDbcs(reinterpret_cast<char*>(again.get()), n);
        FUZZ_CHECK(memcmp(again.get(), buffer.get(), n) == 0, "byte %d changed the cut", n);
        FUZZ_CHECK(again[n] == buffer[n] ? buffer[n] == 0 : again[n] == other[n] && buffer[n] == original[n],
                   "byte %d handled differently", n);
    }
}

// LastCharWidth(s, n) for many n, each on a copy of exactly n bytes, against
// the reading of the text from its start.
void CheckLastCharWidth(const uint8_t* text, size_t length, const CodePageChoice& page) {
    std::vector<bool> starts = CharacterStarts(text, length);
    std::vector<size_t> limits;
    if (length <= 300) {
        for (size_t n = 1; n <= length; ++n) limits.push_back(n);
    } else {
        for (size_t n = 1; n <= 64; ++n) limits.push_back(n);
        for (size_t n = length - 64; n <= length; ++n) limits.push_back(n);
        uint32_t hash = 2166136261u;
        for (size_t i = 0; i < length; ++i) hash = (hash ^ text[i]) * 16777619u;
        for (int k = 0; k < 128; ++k) {
            hash = hash * 1103515245u + 12345u;
            limits.push_back(1 + hash % length);
        }
    }
    uint8_t none = 0;
    FUZZ_CHECK(LastCharWidth(reinterpret_cast<const char*>(&none), 0) == 1, "n = 0 does not give 1");
    for (size_t n : limits) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
        memcpy(copy.get(), text, n);
        int width = LastCharWidth(reinterpret_cast<const char*>(copy.get()), static_cast<int>(n));
        FUZZ_CHECK(width == 1 || width == 2, "LastCharWidth gives %d", width);
        if (page.lowLeadBytes) continue;  // the short cut does not hold there; see fuzz_support.h
        int expected = LeadStartsAt(starts, text, n - 1) ? 2 : 1;
        FUZZ_CHECK(width == expected, "LastCharWidth(s, %zu) = %d, reading from the start gives %d",
                   n, width, expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    CodePageChoice page = ChooseCodePage(in);
    if (page.madeUp) CheckMadeUpTable(page.description);
    else CheckBuiltInTable(page.codePage);

    int n = static_cast<int16_t>(in.U16());
    const uint8_t* text = in.Rest();
    size_t length = in.Remaining();
    // Limits far beyond the text say nothing new; fold them back near it.
    if (n > static_cast<int>(length) + 4) n %= static_cast<int>(length) + 5;

    CheckTruncate(text, length, n);
    CheckLastCharWidth(text, length, page);
    return 0;
}
