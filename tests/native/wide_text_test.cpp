// The text of a Unicode window converted to the ANSI code page, and its
// positions mapped between UTF-16 units and bytes, under the code pages the
// module serves.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "module/byte_classes.h"
#include "reconvert/edit_context.h"
#include "reconvert/wide_text.h"
#include "support/fake_platform.h"

namespace {

struct Converted {
    std::string text;
    std::vector<unsigned int> bytes;  // byte offset of each unit position 0..units+1
    std::vector<unsigned char> pairBits;
};

Converted Convert(const std::u16string& wide) {
    std::vector<unsigned char> buffer(2 * WIDE_TEXT_UNITS, 0xEE);
    memcpy(buffer.data(), wide.data(), 2 * wide.size());
    buffer[2 * wide.size()] = buffer[2 * wide.size() + 1] = 0;
    Converted c;
    for (unsigned int u = 0; u <= wide.size() + 1; ++u) c.bytes.push_back(u);
    c.pairBits.assign(WIDE_PAIR_BITS, 0xFF);
    int length = ConvertWideText(buffer.data(), c.pairBits.data(), c.bytes.data(), int(c.bytes.size()));
    c.text.assign(reinterpret_cast<char*>(buffer.data()), size_t(length));
    EXPECT_EQ(buffer[size_t(length)], 0) << "terminated";
    return c;
}

bool High(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool Low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Unit positions where a character begins (a pair is one character).
std::vector<bool> UnitStarts(const std::u16string& w) {
    std::vector<bool> s(w.size() + 1, true);
    for (size_t i = 0; i + 1 < w.size(); ++i)
        if (High(w[i]) && Low(w[i + 1])) s[++i] = false;
    return s;
}

class WideText : public ::testing::TestWithParam<unsigned int> {
protected:
    void SetUp() override { UseCodePage(GetParam()); }
};

// Every unit position maps to a character start of the converted text and
// back to the start of the character it lies in; the mapping never goes
// backwards, and distinct characters get distinct bytes. Texts mix
// characters of each code page, characters outside it, surrogate pairs and
// lone surrogates.
TEST_P(WideText, PositionsRoundTripToCharacterStarts) {
    const std::u16string pool[] = {u"a", u"\r", u"漢", u"字", u"あ", u"ｶ", u"é", u"€", u"ก", u"한", u"汉",
                                   u"\U00020BB7", u"\U0001F600", std::u16string(1, char16_t(0xD800)),
                                   std::u16string(1, char16_t(0xDC00)), u"　"};
    uint32_t seed = 12345 + GetParam();
    for (int round = 0; round < 400; ++round) {
        std::u16string w;
        int n = int(seed % 24);
        for (int k = 0; k < n; ++k) {
            seed = seed * 1103515245u + 12345u;
            w += pool[(seed >> 16) % (sizeof pool / sizeof pool[0])];
        }
        seed = seed * 1103515245u + 12345u;
        Converted c = Convert(w);
        std::vector<bool> units = UnitStarts(w);
        std::vector<bool> bytes = CharacterStarts(c.text.data(), c.text.size(), IsLeadByte, true);
        size_t characters = 0, walked = 0;
        for (size_t u = 0; u < w.size(); ++u) characters += units[u];
        for (size_t b = 0; b < c.text.size(); ++b) walked += bytes[b];
        ASSERT_EQ(walked, characters) << "one ANSI character per UTF-16 character, round " << round;
        unsigned int last = 0;
        for (size_t u = 0; u <= w.size(); ++u) {
            unsigned int b = c.bytes[u];
            ASSERT_TRUE(bytes[b]) << "unit " << u << " maps inside a character";
            ASSERT_GE(b, last) << "unit " << u;
            if (u > 0 && units[u]) {
                ASSERT_GT(b, last) << "unit " << u;
            }
            size_t start = u;
            while (!units[start]) --start;
            ASSERT_EQ(WindowPosition(c.text.c_str(), c.pairBits.data(), int(b)), int(start)) << "unit " << u;
            last = b;
        }
        ASSERT_EQ(c.bytes[w.size() + 1], c.text.size()) << "past the text: its length";
        // Any stretch of the text: its characters' positions, -1 inside one.
        for (size_t from = 0; from <= c.text.size(); ++from) {
            if (!bytes[from]) continue;
            size_t length = c.text.size() - from < 8 ? c.text.size() - from : 8;
            int positions[9];
            WindowPositions(c.text.c_str(), c.pairBits.data(), int(from), int(length), positions);
            for (size_t k = 0; k <= length; ++k) {
                if (bytes[from + k])
                    ASSERT_EQ(positions[k], WindowPosition(c.text.c_str(), c.pairBits.data(), int(from + k)));
                else
                    ASSERT_EQ(positions[k], -1);
            }
        }
    }
}

// The part converted for a request hands back what the whole text would:
// the same caret context or selection, at the same window positions.
TEST_P(WideText, ThePartConvertedHandsBackWhatTheWholeTextWould) {
    const std::u16string pool[] = {u"a", u"\r", u"漢", u"あ", u"é", u"\U00020BB7", u"　", u"ゔ"};
    uint32_t seed = 777 + GetParam();
    for (int round = 0; round < 300; ++round) {
        std::u16string w;
        for (int k = 0, n = int(seed % 90); k < n; ++k) {
            seed = seed * 1103515245u + 12345u;
            w += pool[(seed >> 16) % (sizeof pool / sizeof pool[0])];
        }
        seed = seed * 1103515245u + 12345u;
        unsigned int a = (seed >> 8) % (w.size() + 2), b = (seed >> 4) % 3 ? a : (seed >> 12) % (w.size() + 2);
        Converted whole = Convert(w);
        std::vector<unsigned int> at = {a > w.size() ? unsigned(whole.text.size()) : whole.bytes[a],
                                        b > w.size() ? unsigned(whole.text.size()) : whole.bytes[b]};
        unsigned char part[WIDE_PART_BYTES], bits[WIDE_PART_BITS];
        WIDEPART p;
        ConvertWidePart(reinterpret_cast<const uint16_t*>(w.data()), int(w.size()), a, b, part, bits, &p);
        char outWhole[EDIT_CONTEXT_OUT_SIZE], outPart[EDIT_CONTEXT_OUT_SIZE];
        const char* t = reinterpret_cast<const char*>(part);
        int fromWhole = a == b ? CaretContext(whole.text.c_str(), int(whole.text.size()), at[0], outWhole).Start
                               : SelectedText(whole.text.c_str(), int(whole.text.size()), at[0], at[1], outWhole);
        int fromPart = a == b ? CaretContext(t, p.Length, p.Start, outPart).Start
                              : SelectedText(t, p.Length, p.Start, p.End, outPart);
        ASSERT_STREQ(outPart, outWhole) << "round " << round;
        ASSERT_EQ(p.From + WindowPosition(t, bits, fromPart),
                  WindowPosition(whole.text.c_str(), whole.pairBits.data(), fromWhole)) << "round " << round;
    }
}

// Characters the code page has come out as that code page's own bytes: one
// character at a time changes nothing.
TEST_P(WideText, CharactersOfTheCodePageConvertAsAWhole) {
    const struct {
        unsigned int page;
        const char16_t* wide;
        const char* bytes;
    } cases[] = {{932, u"漢字を変換 abc", "\x8A\xBF\x8E\x9A\x82\xF0\x95\xCF\x8A\xB7 abc"},
                 {936, u"汉字转换 abc", "\xBA\xBA\xD7\xD6\xD7\xAA\xBB\xBB abc"},
                 {949, u"한국어 abc 漢字", "\xC7\xD1\xB1\xB9\xBE\xEE abc \xF9\xD3\xED\xAE"},
                 {950, u"漢字轉換 abc", "\xBA~\xA6r\xC2\xE0\xB4\xAB abc"},
                 {1252, u"Caf\u00e9 \u20ac5, na\u00efve", "Caf\xE9 \x80" "5, na\xEFve"}};
    for (const auto& c : cases) {
        if (c.page == GetParam()) {
            EXPECT_EQ(Convert(c.wide).text, c.bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CodePages, WideText, ::testing::Values(932u, 936u, 949u, 950u, 1252u));

// The case that went wrong: caret after 変換 in 漢字を変換する is unit 5, byte
// 10; a character outside code page 932 before it is one byte, two units.
TEST(WideTextIn932, CaretAfterAWordAndAPairBeforeIt) {
    UseCodePage(932);
    Converted c = Convert(u"漢字を変換する");
    EXPECT_EQ(c.bytes[5], 10u);
    Converted pair = Convert(u"\U00020BB7野家で変換");
    EXPECT_EQ(pair.text, "?\x96\xEC\x89\xC6\x82\xC5\x95\xCF\x8A\xB7");
    EXPECT_EQ(pair.bytes[1], 0u) << "inside the pair: its start";
    EXPECT_EQ(pair.bytes[2], 1u);
    EXPECT_EQ(pair.bytes[6], 9u);
    EXPECT_EQ(WindowPosition(pair.text.c_str(), pair.pairBits.data(), 9), 6);
    EXPECT_EQ(WindowPosition(pair.text.c_str(), nullptr, 9), 9) << "an ANSI window counts bytes";
}

}  // namespace
