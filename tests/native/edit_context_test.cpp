#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/test_text.h"
#include "module/byte_classes.h"
#include "reconvert/edit_context.h"
#include "support/fake_platform.h"

namespace {

// Shift-JIS: full-width letters A, B, C, D, the full-width space, hiragana.
const std::string FA = "\x82\x60", FB = "\x82\x61", FC = "\x82\x62", FD = "\x82\x63";
const std::string SPACE = "\x81\x40", HA = "\x82\xA0", HI = "\x82\xA2";

struct Context {
    std::string text;
    CARETCONTEXT at;
};

Context ContextAt(const std::string& text, unsigned int caret) {
    char out[EDIT_CONTEXT_OUT_SIZE];
    memset(out, 0x7F, sizeof out);
    Context c;
    c.at = CaretContext(text.c_str(), static_cast<int>(text.size()), caret, out);
    c.text = out;
    return c;
}

std::string Selection(const std::string& text, unsigned int start, unsigned int end) {
    char out[EDIT_CONTEXT_OUT_SIZE];
    memset(out, 0x7F, sizeof out);
    SelectedText(text.c_str(), static_cast<int>(text.size()), start, end, out);
    return out;
}

class EditContext : public ::testing::Test {
protected:
    void SetUp() override { UseCodePage(932); }
};

TEST_F(EditContext, CaretContextsOfTypicalTexts) {
    const struct {
        const char* what;
        std::string text;
        unsigned int caret;
        std::string context;
        int result, start;
    } cases[] = {
        {"short text", "abc", 3, "abc", 3, 0},
        {"fifteen bytes each side", Letters(40), 20, Letters(40).substr(5, 30), 15, 5},
        {"CR LF before the caret", "abcde\r\nfghij", 12, "fghij", 5, 7},
        {"CR LF after the caret", "abcde\r\nfghij", 3, "abcde", 3, 0},
        {"lone LF before the caret", "ab\ncd", 4, "cd", 1, 3},
        {"full-width letters, caret 20", Repeat(FA, 20), 20, Repeat(FA, 20).substr(6, 30), 14, 6},
        {"full-width letters, caret 0", Repeat(FA, 20), 0, Repeat(FA, 8), 0, 0},
        {"full-width space", FA + FB + SPACE + FC + FD, 10, FC + FD, 4, 6},
        {"full-width space after the caret", FA + FB + SPACE + FC, 2, FA + FB + SPACE + FC, 2, 0},
        {"tab after the caret", "ab\tcd", 2, "ab", 2, 0},
        {"tab before the caret", "ab\tcd", 5, "ab\tcd", 5, 0},
        {"empty text", "", 0, "", 0, 0},
        {"two-byte character 14 bytes on", Letters(14) + HA + "xyz", 0, Letters(14) + HA, 0, 0},
        {"back limit on a two-byte character", "a" + Repeat(HA, 10), 21, Repeat(HA, 7), 14, 7},
        {"lone lead byte at the end", "ab\x82", 2, "ab\x82", 2, 0},
    };
    for (const auto& c : cases) {
        Context got = ContextAt(c.text, c.caret);
        EXPECT_EQ(got.text, c.context) << c.what;
        EXPECT_EQ(got.at.Result, c.result) << c.what;
        EXPECT_EQ(got.at.Start, c.start) << c.what;
        EXPECT_EQ(got.at.Caret, static_cast<int>(c.caret)) << c.what;
    }
}

// 81 40 is a full-width space only where a character begins: here 81 is the
// second byte of 88 81 and 40 the letter '@'.
TEST_F(EditContext, FullWidthSpaceOnlyWhereACharacterBegins) {
    std::string text = "\x88\x81\x40" + FA;
    Context got = ContextAt(text, 5);
    EXPECT_EQ(got.text, text);
    EXPECT_EQ(got.at.Result, 5);
}

TEST_F(EditContext, OffsetsBeyondTheTextAreClamped) {
    for (unsigned int caret : {4u, 100u, 0xFFFFu}) {
        Context got = ContextAt("abc", caret);
        EXPECT_EQ(got.text, "abc");
        EXPECT_EQ(got.at.Caret, 3);
        EXPECT_EQ(got.at.Result, 3);
    }
    EXPECT_EQ(Selection("abcdef", 2, 100), "cdef");
    EXPECT_EQ(Selection("abcdef", 50, 100), "");
}

TEST_F(EditContext, CaretInsideATwoByteCharacterMovesToItsStart) {
    Context got = ContextAt("a" + HA + HI, 2);
    EXPECT_EQ(got.at.Caret, 1);
    EXPECT_EQ(got.at.Result, 1);
    EXPECT_EQ(got.text, "a" + HA + HI);
    // Selection bounds inside characters keep whole characters only.
    EXPECT_EQ(Selection(HA + HI + HA, 1, 5), HA + HI);
    EXPECT_EQ(Selection(HA + HI, 1, 3), HA);
}

// Whatever a control reports, the context is a piece of the text around a
// caret on a character boundary, and the result stays within 0..15, so it is
// never taken for -1 and never points past the context.
TEST_F(EditContext, ResultStaysInRangeForEveryCaret) {
    const std::string texts[] = {
        Letters(3) + Repeat(HA, 12) + "\r\n" + SPACE + Letters(20) + Repeat(FA, 9) + "\x82",
        Repeat("a" + HI, 15) + "\t" + Repeat(SPACE + FB, 6),
        Repeat(HA, 30),
    };
    for (const std::string& text : texts) {
        std::vector<bool> boundaries = CharacterStarts(text.data(), text.size(), IsLeadByte, true);
        for (unsigned int caret = 0; caret <= text.size() + 3; ++caret) {
            Context got = ContextAt(text, caret);
            ASSERT_GE(got.at.Result, 0) << caret;
            ASSERT_LE(got.at.Result, 15) << caret;
            ASSERT_EQ(got.at.Result, got.at.Caret - got.at.Start) << caret;
            ASSERT_TRUE(boundaries[got.at.Caret]) << caret;
            ASSERT_LE(static_cast<unsigned int>(got.at.Caret), caret) << caret;
            ASSERT_LE(got.at.Result, static_cast<int>(got.text.size())) << caret;
            ASSERT_EQ(text.substr(got.at.Start, got.text.size()), got.text) << caret;
        }
    }
}

// Walks that start near their goal must find the boundaries that reading the
// text from its start finds, also in runs of kanji whose second bytes have
// lead-byte values.
TEST_F(EditContext, BoundariesAgreeWithReadingFromTheStart) {
    const unsigned char pool[] = {0x88, 0x9F, 0x82, 0xA0, 0x81, 0x40, 0x41, 0xB1, 0xE0, 0xFC, 0x0A};
    unsigned int seed = 7;
    for (int round = 0; round < 3000; ++round) {
        char text[200];
        int length = 1 + round % 190;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text[i] = static_cast<char>(pool[(seed >> 16) % sizeof pool]);
        }
        text[length] = 0;
        std::vector<bool> starts = CharacterStarts(text, size_t(length), IsLeadByte, true);
        for (int caret = 0; caret <= length; ++caret) {
            int boundary = caret;  // the last boundary at or before the caret, read from the start
            while (!starts[boundary]) --boundary;
            char out[EDIT_CONTEXT_OUT_SIZE];
            ASSERT_EQ(CaretContext(text, length, caret, out).Caret, boundary)
                << "round " << round << " caret " << caret;
        }
    }
}

TEST_F(EditContext, SelectionsAreCutToSixtyFourBytes) {
    EXPECT_EQ(Selection(Letters(80), 0, 80), Letters(64));
    EXPECT_EQ(Selection(Letters(63) + FA + "z", 0, 66), Letters(63)) << "a character straddling byte 64 goes whole";
    EXPECT_EQ(Selection(Repeat(HA, 40), 0, 80), Repeat(HA, 32));
    EXPECT_EQ(Selection("xx" + HA + HI + "yy", 2, 6), HA + HI);
    EXPECT_EQ(Selection("xx" + HA + HI + "yy", 6, 2), HA + HI) << "bounds in either order";
    EXPECT_EQ(Selection("ab\r\ncd", 0, 6), "ab\r\ncd") << "line breaks are the builder's to refuse";
}

TEST_F(EditContext, LongestTextServed) {
    std::string text = Letters(WINDOW_TEXT_LIMIT - 1);
    Context end = ContextAt(text, static_cast<unsigned int>(text.size()));
    EXPECT_EQ(end.at.Start, WINDOW_TEXT_LIMIT - 1 - 15);
    EXPECT_EQ(end.at.Result, 15);
    EXPECT_EQ(end.text, text.substr(text.size() - 15));
    EXPECT_EQ(Selection(text, 0, 0xFFFF), Letters(64));
    EXPECT_EQ(Selection(text, 65500, 0xFFFF), text.substr(65500, 34));
}

TEST_F(EditContext, SingleByteCodePageHasNoTwoByteCharacters) {
    UseCodePage(1252);
    Context got = ContextAt(FA + SPACE + "ab", 3);
    EXPECT_EQ(got.at.Caret, 3) << "no caret is moved";
    EXPECT_EQ(got.text, FA + SPACE + "ab") << "81 40 is no space here";
    EXPECT_EQ(Selection(Letters(63) + FA, 0, 65), Letters(63) + FA.substr(0, 1));
}

}  // namespace

