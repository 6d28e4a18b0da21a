#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/test_text.h"
#include "module/state.h"
#include "reconvert/record_builder.h"
#include "rodavozi.h"
#include "support/fake_platform.h"
#include "common/scripted_source.h"

namespace {

// Shift-JIS: hiragana a, i, u, e, o and a kanji whose second byte is in the
// lead range.
const std::string A = "\x82\xA0", I = "\x82\xA2", U = "\x82\xA4", E = "\x82\xA6", O = "\x82\xA8";
const std::string KANJI = "\x88\x9F";

class Builder : public ::testing::Test {
protected:
    unsigned char record[RECORD_SIZE];
    RECONVERTHEADER* header() { return reinterpret_cast<RECONVERTHEADER*>(record); }
    std::string AnsiString() { return reinterpret_cast<char*>(record + 32); }
    std::u16string WideString() {
        std::u16string s;
        for (int i = 32; record[i] || record[i + 1]; i += 2)
            s += static_cast<char16_t>(record[i] | record[i + 1] << 8);
        return s;
    }

    void SetUp() override {
        UseCodePage(932);
        memset(record, 0xCC, sizeof record);
        g_source = ScriptedSource();
        ProcessState.LastReconvertOffset = 0;
        ClearTraces();
    }

    int Fill(int kind, int unicode, const std::string& text, int result) {
        g_source.text = text;
        g_source.result = result;
        return BuildReconvertString(nullptr, kind, record, unicode, ScriptedTextSource);
    }

    void ExpectHeader(uint32_t strLen, uint32_t compLen, uint32_t compOffset) {
        EXPECT_EQ(header()->dwSize, 160u);
        EXPECT_EQ(header()->dwVersion, 0xCCCCCCCCu) << "dwVersion belongs to the IME";
        EXPECT_EQ(header()->dwStrOffset, 32u);
        EXPECT_EQ(header()->dwStrLen, strLen);
        EXPECT_EQ(header()->dwCompStrLen, compLen);
        EXPECT_EQ(header()->dwTargetStrLen, compLen);
        EXPECT_EQ(header()->dwCompStrOffset, compOffset);
        EXPECT_EQ(header()->dwTargetStrOffset, compOffset);
    }
};

TEST_F(Builder, SizeQueriesNeverAskTheSource) {
    EXPECT_EQ(BuildReconvertString(nullptr, 4, nullptr, 0, ScriptedTextSource), 160);
    EXPECT_EQ(BuildReconvertString(nullptr, 0, nullptr, 1, ScriptedTextSource), 160);
    EXPECT_EQ(BuildReconvertString(nullptr, 5, nullptr, 0, ScriptedTextSource), 0);
    EXPECT_EQ(g_source.getTextCalls + g_source.confirmCalls, 0);
    ASSERT_EQ(Traces().size(), 3u);
    EXPECT_EQ(Traces()[0], "\n0 recon 4 0 ");
    EXPECT_EQ(Traces()[2], "\n0 recon 5 0 ");
}

TEST_F(Builder, SelectionOfOneCharacter) {
    EXPECT_EQ(Fill(4, 0, A, -1), 160);
    ExpectHeader(2, 2, 0);
    EXPECT_EQ(AnsiString(), A);
    EXPECT_EQ(Fill(4, 1, A, -1), 160);
    ExpectHeader(1, 1, 0);
    EXPECT_EQ(WideString(), u"\u3042");
    EXPECT_EQ(record[34], 0);
    EXPECT_EQ(record[35], 0);
}

TEST_F(Builder, SelectionIsCutToTwentyCharacters) {
    ProcessState.LastReconvertOffset = 9;
    EXPECT_EQ(Fill(4, 0, Repeat(A, 25), -1), 160);
    ExpectHeader(40, 40, 0);
    EXPECT_EQ(AnsiString(), Repeat(A, 20));
    EXPECT_EQ(ProcessState.LastReconvertOffset, 0);
    EXPECT_EQ(Fill(4, 1, Repeat(A, 25), -1), 160);
    ExpectHeader(20, 20, 0);
    // The cut drops a letter beyond byte 40.
    EXPECT_EQ(Fill(4, 0, Repeat(I, 21) + "z", -1), 160);
    EXPECT_EQ(AnsiString(), Repeat(I, 20));
}

TEST_F(Builder, RefusedSelections) {
    ProcessState.LastReconvertOffset = 6;
    EXPECT_EQ(Fill(4, 0, "", -1), 0);
    EXPECT_EQ(Fill(4, 0, Repeat(A, 30) + "\n", -1), 0) << "a line break past the cut counts";
    EXPECT_EQ(ProcessState.LastReconvertOffset, 6) << "refused before the cut: untouched";
    ExpectHeader(2, 0, 0);
    EXPECT_EQ(record[32], 0xCC) << "no string written";
    EXPECT_EQ(Fill(4, 0, "a" + A, -1), 0);
    EXPECT_EQ(ProcessState.LastReconvertOffset, 0) << "refused after the cut: reset";
    EXPECT_EQ(Fill(4, 0, A + "\xB1", -1), 0) << "half-width katakana";
    EXPECT_EQ(Fill(4, 0, A + "\x82\x20", -1), 0) << "lead byte without a trail byte";
}

TEST_F(Builder, CaretRunAroundTheCaret) {
    std::string text = "abc" + A + I + U + E + O + "z";
    EXPECT_EQ(Fill(4, 0, text, 9), 160);
    ExpectHeader(10, 0, 6);
    EXPECT_EQ(AnsiString(), A + I + U + E + O);
    EXPECT_EQ(ProcessState.LastReconvertOffset, 6);
    EXPECT_EQ(Fill(4, 1, text, 9), 160);
    ExpectHeader(5, 0, 6);
    EXPECT_EQ(WideString(), u"\u3042\u3044\u3046\u3048\u304A");
    const std::vector<std::string> expected = {"\n1 recon 4 " + Hex(reinterpret_cast<uintptr_t>(record)) + " ", "noseltext=" + text + " ",
                                               "offset=6 "};
    ASSERT_GE(Traces().size(), 3u);
    EXPECT_EQ(std::vector<std::string>(Traces().end() - 3, Traces().end()), expected);
}

TEST_F(Builder, CaretRunIsAtMostTwentyBeforeAndFifteenAfter) {
    EXPECT_EQ(Fill(4, 0, Repeat(KANJI, 25) + Repeat(A, 20), 50), 160);
    ExpectHeader(70, 0, 40);
    EXPECT_EQ(AnsiString(), Repeat(KANJI, 20) + Repeat(A, 15));
    EXPECT_EQ(Fill(4, 1, Repeat(KANJI, 25) + Repeat(A, 20), 50), 160);
    ExpectHeader(35, 0, 40);
    EXPECT_EQ(Fill(4, 0, Repeat(A, 20), 0), 160);
    ExpectHeader(30, 0, 0);
}

TEST_F(Builder, BackwardWalkReadsFromTheStart) {
    // 0x82 0xB1 would pass as a pair, but 0x82 at offset 2 is a second byte.
    EXPECT_EQ(Fill(4, 0, "A\x82\x82\xB1", 4), 0);
    ExpectHeader(0, 0, 0);
    EXPECT_EQ(AnsiString(), "");
}

TEST_F(Builder, BackwardWalkKnowsCharactersFromTheStartFarBeforeTheCaret) {
    // Every byte is a lead byte, so only reading from the start tells that the
    // characters begin at even offsets: a caret at 45 (inside one, from a
    // source off its contract) has no whole character right before it.
    EXPECT_EQ(Fill(4, 0, Repeat(KANJI, 25), 45), 160);
    EXPECT_EQ(header()->dwCompStrOffset, 0u);
    EXPECT_EQ(ProcessState.LastReconvertOffset, 0);
}

TEST_F(Builder, EmptyRunRefusesReconversionButFeedsAnEmptyDocument) {
    ProcessState.LastReconvertOffset = 4;
    EXPECT_EQ(Fill(4, 0, "ab", 1), 0);
    ExpectHeader(0, 0, 0);
    EXPECT_EQ(ProcessState.LastReconvertOffset, 0);
    EXPECT_EQ(Fill(0, 1, "ab", 1), 160);
    ExpectHeader(0, 0, 0);
    EXPECT_EQ(record[32], 0);
    EXPECT_EQ(record[33], 0);
}

TEST_F(Builder, CaretTextWithLineBreakOrEmptyIsRefused) {
    ProcessState.LastReconvertOffset = 4;
    EXPECT_EQ(Fill(4, 0, A + "\r" + A, 2), 0);
    EXPECT_EQ(Fill(0, 1, "", 0), 0);
    EXPECT_EQ(ProcessState.LastReconvertOffset, 4);
}

TEST_F(Builder, SourcesOffTheirContractGetNothing) {
    EXPECT_EQ(Fill(4, 0, A + I, 5), 0) << "caret beyond the string";
    EXPECT_EQ(Fill(4, 0, A + I, -2), 0) << "negative result other than -1";
    g_source.terminate = false;
    EXPECT_EQ(Fill(4, 0, "", -1), 0) << "no terminator in the buffer";
    EXPECT_EQ(BuildReconvertString(nullptr, 4, record, 0, nullptr), 0) << "no source";
}

TEST_F(Builder, NothingWrittenPastTheLongestRecord) {
    memset(record, 0xCC, sizeof record);
    Fill(4, 0, Repeat(KANJI, 25) + Repeat(A, 20), 50);
    for (int i = 103; i < RECORD_SIZE; ++i) EXPECT_EQ(record[i], 0xCC) << i;
    memset(record, 0xCC, sizeof record);
    Fill(4, 1, Repeat(KANJI, 25) + Repeat(A, 20), 50);
    for (int i = 104; i < RECORD_SIZE; ++i) EXPECT_EQ(record[i], 0xCC) << i;
}

// A dwSize set short of what a fill writes (32 + string + terminator) gets
// 0 and nothing written; 0 (an IME that never sets it) stands for the 160
// bytes of the size query; a record with room never hears of more than it has.
TEST_F(Builder, RecordsWithoutRoomAreLeftUntouched) {
    const std::string run = A + I + U + E + O;  // ANSI needs 43 bytes, UTF-16 44
    for (int unicode : {0, 1}) {
        for (uint32_t size : {1u, 31u, 42u + unicode}) {
            memset(record, 0xCC, sizeof record);
            memcpy(record, &size, 4);
            EXPECT_EQ(Fill(4, unicode, run, 10), 0) << size;
            EXPECT_EQ(Fill(0, unicode, run, 10), 0) << size;
            for (int i = 4; i < RECORD_SIZE; ++i) ASSERT_EQ(record[i], 0xCC) << size << " byte " << i;
        }
        for (uint32_t size : {0u, 43u + unicode}) {
            memset(record, 0xCC, sizeof record);
            memcpy(record, &size, 4);
            EXPECT_EQ(Fill(4, unicode, run, 10), 160) << size;
            EXPECT_EQ(header()->dwSize, size ? size : 160u);
            EXPECT_EQ(record[43 + unicode], 0xCC) << "nothing past the string";
        }
    }
    // The fallback for a feed the control left: dwSize 0 is room only when
    // the module answered the size query.
    for (bool sizedHere : {false, true}) {
        memset(record, 0, sizeof record);
        g_source.text = run;
        g_source.result = 10;
        EXPECT_EQ(BuildUnansweredFeed(nullptr, record, 0, ScriptedTextSource, sizedHere), sizedHere ? 160 : 0);
        EXPECT_EQ(header()->dwStrLen, sizedHere ? 10u : 0u);
    }
}

TEST_F(Builder, ConfirmationPacksTheRangeBeforeTheCaret) {
    Fill(4, 1, "abc" + A + I + U + E + O + "z", 9);  // caret offset 6
    header()->dwCompStrOffset = 2;
    header()->dwCompStrLen = 2;
    EXPECT_EQ(BuildReconvertString(nullptr, 5, record, 1, ScriptedTextSource), 1);
    EXPECT_EQ(g_source.lastRange, (4u << 16) | 4u);
    header()->dwCompStrLen = 4;  // ANSI: bytes
    EXPECT_EQ(BuildReconvertString(nullptr, 5, record, 0, ScriptedTextSource), 1);
    EXPECT_EQ(g_source.lastRange, (4u << 16) | 4u);
    EXPECT_EQ(g_source.confirmCalls, 2);
    EXPECT_EQ(Traces().back(), "\n0 recon 5 " + Hex(reinterpret_cast<uintptr_t>(record)) + " ")
        << "no trace follows the entry line";
}

TEST_F(Builder, ConfirmationWithoutARecordIsAnsweredWithoutTheSource) {
    EXPECT_EQ(BuildReconvertString(nullptr, 5, nullptr, 0, ScriptedTextSource), 0);
    EXPECT_EQ(g_source.confirmCalls, 0);
}

}  // namespace
