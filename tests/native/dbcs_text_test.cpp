#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/test_text.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "support/fake_platform.h"

namespace {

std::string Truncate(std::string s, int n) {
    std::string buffer = s;
    buffer.resize(std::max<size_t>(s.size(), n > 0 ? n : 0) + 1, '\0');
    TruncateDbcs(&buffer[0], n);
    return std::string(buffer.c_str());
}

class Cp932 : public ::testing::Test {
protected:
    void SetUp() override { UseCodePage(932); }
};

TEST_F(Cp932, TruncateKeepsDoubleByteCharactersWhole) {
    EXPECT_EQ(Truncate("ab\x82\xA0", 4), "ab\x82\xA0");
    EXPECT_EQ(Truncate("abc\x82\xA0", 4), "abc");
    EXPECT_EQ(Truncate("\x82\xA0\x82\xA2", 3), "\x82\xA0");
    EXPECT_EQ(Truncate("abcde", 4), "abcd");
    EXPECT_EQ(Truncate("abc\x82", 4), "abc");
    EXPECT_EQ(Truncate("a\x82", 4), "a\x82");  // lone lead byte within the limit stays
    EXPECT_EQ(Truncate("\xB1\xB2\xB3\xB4\xB5", 4), "\xB1\xB2\xB3\xB4");  // half-width kana
    EXPECT_EQ(Truncate("abc", 0), "");
    EXPECT_EQ(Truncate("abc", -5), "");
}

TEST_F(Cp932, TruncateWritesNoFurtherThanIndexN) {
    char buffer[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'X'};
    TruncateDbcs(buffer, 4);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], 'f');
}

TEST_F(Cp932, LastCharWidthOnListedTexts) {
    const char* s = "a\x82\xA0\x82\xA2";
    const int expected[] = {1, 2, 1, 2, 1};
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(LastCharWidth(s, n), expected[n - 1]) << n;
    EXPECT_EQ(LastCharWidth("\x88\x9F\x88\x9F", 2), 1);  // 0x9F as a second byte
    EXPECT_EQ(LastCharWidth("\x88\x9F\x88\x9F", 3), 2);
    EXPECT_EQ(LastCharWidth("\x82\xA0\x81\x5B", 4), 1);
    EXPECT_EQ(LastCharWidth("aaa\x82\xA0", 5), 1);
    EXPECT_EQ(LastCharWidth("\x82", 1), 2);
    EXPECT_EQ(LastCharWidth("a", 0), 1);
}

TEST(LastCharWidthProperty, ShortcutsAgreeWithReadingFromTheStart) {
    std::mt19937 random(12345);
    // Bytes drawn mostly from the interesting classes: ASCII, 0x80, lead
    // bytes, trail-only bytes and half-width katakana.
    const unsigned char alphabet[] = {0x00, 0x41, 0x5B, 0x7F, 0x80, 0x81, 0x82, 0x88, 0x9F,
                                      0xA0, 0xB1, 0xDF, 0xE0, 0xFC, 0xFD, 0xFE, 0xFF, 0x40};
    for (unsigned int cp : {932u, 936u, 949u, 950u, 1361u, 1252u}) {
        UseCodePage(cp);
        for (int round = 0; round < 20000; ++round) {
            unsigned char text[64];
            int length = 1 + random() % 64;
            for (int i = 0; i < length; ++i)
                text[i] = random() % 4 == 0 ? random() % 256 : alphabet[random() % sizeof alphabet];
            // Reading from the start of the text: what the shortcuts must equal.
            std::vector<bool> starts = CharacterStarts(text, size_t(length), IsLeadByte);
            for (int n = 1; n <= length; ++n) {
                int expected = starts[n - 1] && IsLeadByte(text[n - 1]) ? 2 : 1;
                ASSERT_EQ(LastCharWidth(reinterpret_cast<char*>(text), n), expected) << "cp " << cp << " n " << n;
            }
        }
    }
}

TEST(SingleByteCodePage, EveryByteIsACharacterOfItsOwn) {
    UseCodePage(1252);
    EXPECT_EQ(LastCharWidth("\x82\x82\x82", 3), 1);
    EXPECT_EQ(Truncate("\x82\xA0\x82\xA2\x82", 3), "\x82\xA0\x82");
}

TEST(AsciiCaseCompare, FoldsOnlyAsciiCapitals) {
    EXPECT_EQ(AsciiCaseCompare("EDIT", "edit"), 0);
    EXPECT_EQ(AsciiCaseCompare("Edit", "edit"), 0);
    EXPECT_EQ(AsciiCaseCompare("KvExEdit", "kvexedit"), 0);
    EXPECT_NE(AsciiCaseCompare("edit ", "edit"), 0);
    EXPECT_NE(AsciiCaseCompare("Edit2", "edit"), 0);
    EXPECT_NE(AsciiCaseCompare("\x82\x85\x82\x84\x82\x89\x82\x94", "edit"), 0);  // full-width letters
    // The folding applies to second bytes of characters too.
    EXPECT_EQ(AsciiCaseCompare("\x82\x41", "\x82\x61"), 0);
    EXPECT_NE(AsciiCaseCompare("\xC1", "\xE1"), 0);  // no folding above 0x7F
    EXPECT_LT(AsciiCaseCompare("a", "\xE0"), 0);  // unsigned order
}

}  // namespace
