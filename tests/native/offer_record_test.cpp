// What a confirmation selects through the module's own text source: the
// builder and the source note the fill in this thread's record, and the
// source reads back exactly the composition the IME confirmed.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "reconvert/offer_record.h"
#include "reconvert/record_builder.h"
#include "rodavozi.h"
#include "support/fake_platform.h"

namespace {

const std::string HA = "\x82\xA0", HI = "\x82\xA2", HU = "\x82\xA4", KAN = "\x8A\xBF", JI = "\x8E\x9A";

// A text source that hands back a piece of a window text and notes where it
// lies (window positions = bytes + 1000), as the edit-control source does;
// on confirmation it records what it would select.
struct NotingSource {
    std::string text;     // the whole window text
    int from = 0, length = 0, result = 0;
    bool selected = false;
    int start = 0, end = 0;
} g_noting;

int CALLBACK Noting(HWND window, int request, UINT, char* buffer) {
    if (request == TSR_GETTEXT) {
        memcpy(buffer, g_noting.text.c_str() + g_noting.from, size_t(g_noting.length));
        buffer[g_noting.length] = 0;
        HeldRecord record(window, CLAIM_EXISTING);
        if (record && record->Offer.Collecting) {
            record->Offer.SourceNoted = true;
            record->Offer.HandedBackStart = g_noting.from;
            record->Offer.HandedBackLength = g_noting.length;
            for (int i = 0; i <= g_noting.length; ++i) record->Offer.Positions[i] = i % 2 ? -1 : 1000 + g_noting.from + i;
        }
        return g_noting.result;
    }
    HeldRecord record(window, CLAIM_EXISTING);
    int bs, be;
    g_noting.selected = record && ConfirmedRange(&record->Offer, &g_noting.start, &g_noting.end, &bs, &be);
    return 0;
}

class OfferRecord : public ::testing::Test {
protected:
    HWND window = reinterpret_cast<HWND>(0x1234);
    unsigned char record[RECORD_SIZE];
    RECONVERTHEADER* header() { return reinterpret_cast<RECONVERTHEADER*>(record); }

    void SetUp() override {
        UseCodePage(932);
        SetCurrentThreadId(4);
        g_noting = NotingSource();
        for (WINDOWRECORD& r : WindowRecords) ClearRecord(&r);
    }
    // Fills from a caret context (`from`, `length` of the text; caret
    // `result` bytes into it) or a selection (result -1).
    int Fill(const std::string& text, int from, int length, int result, int unicode = 0) {
        g_noting.text = text;
        g_noting.from = from;
        g_noting.length = length;
        g_noting.result = result;
        memset(record, 0, sizeof record);
        return BuildReconvertString(window, REQUEST_RECONVERT, record, unicode, Noting);
    }
    // Confirms a composition at `offset` bytes of the string, `length` bytes
    // (units of a UTF-16 record); true when the source would select, with
    // the range in bytes of the window text.
    bool Confirm(uint32_t offset, uint32_t length, int unicode = 0, HWND to = nullptr) {
        header()->dwCompStrOffset = offset;
        header()->dwCompStrLen = length;
        g_noting.selected = false;
        BuildReconvertString(to ? to : window, REQUEST_CONFIRM, record, unicode, Noting);
        g_noting.start -= 1000;
        g_noting.end -= 1000;
        return g_noting.selected;
    }
};

// あ漢字い|う: the caret context is the whole text, the run too.
TEST_F(OfferRecord, CompositionsBeforeAtAndAfterTheCaret) {
    const std::string text = "ab" + HA + KAN + JI + HI + HU;  // run at byte 2, caret at byte 10
    ASSERT_EQ(Fill(text, 0, int(text.size()), 10), RECORD_SIZE);
    ASSERT_EQ(header()->dwCompStrOffset, 8u) << "caret 8 bytes into the run";
    ASSERT_TRUE(Confirm(2, 4));  // 漢字, before the caret
    EXPECT_EQ(g_noting.start, 4);
    EXPECT_EQ(g_noting.end, 8);
    ASSERT_EQ(Fill(text, 0, int(text.size()), 10), RECORD_SIZE);
    ASSERT_TRUE(Confirm(6, 4));  // いう, across the caret
    EXPECT_EQ(g_noting.start, 8);
    EXPECT_EQ(g_noting.end, 12);
    ASSERT_EQ(Fill(text, 0, int(text.size()), 10), RECORD_SIZE);
    ASSERT_TRUE(Confirm(8, 2));  // う, after the caret
    EXPECT_EQ(g_noting.start, 10);
    EXPECT_EQ(g_noting.end, 12);
}

TEST_F(OfferRecord, CompositionsWithinASelection) {
    const std::string text = "x" + HA + KAN + JI + HI + "y";  // selection of 4 characters at byte 1
    for (uint32_t at : {0u, 2u, 4u}) {
        ASSERT_EQ(Fill(text, 1, 8, -1), RECORD_SIZE);
        ASSERT_TRUE(Confirm(at, 4)) << at;
        EXPECT_EQ(g_noting.start, int(1 + at)) << at;
        EXPECT_EQ(g_noting.end, int(5 + at)) << at;
    }
    // In a UTF-16 record the length counts units.
    ASSERT_EQ(Fill(text, 1, 8, -1, 1), RECORD_SIZE);
    ASSERT_TRUE(Confirm(2, 2, 1));
    EXPECT_EQ(g_noting.start, 3);
    EXPECT_EQ(g_noting.end, 7);
}

TEST_F(OfferRecord, ACompositionOutsideTheOfferedStringSelectsNothing) {
    const std::string text = HA + KAN + JI;
    struct {
        uint32_t offset, length;
        const char* what;
    } cases[] = {{0, 8, "longer than offered"}, {2, 6, "running past the end"}, {0, 0xFFFFFFFFu, "absurd length"},
                 {0xFFFFFFFEu, 2, "absurd offset"}, {1, 2, "inside a character"}, {0, 3, "ending inside one"},
                 {0, 0, "empty"}};
    for (const auto& c : cases) {
        ASSERT_EQ(Fill(text, 0, 6, 6), RECORD_SIZE);
        EXPECT_FALSE(Confirm(c.offset, c.length)) << c.what;
    }
    ASSERT_EQ(Fill(text, 0, 6, 6, 1), RECORD_SIZE);
    EXPECT_FALSE(Confirm(0, 0x80000001u, 1)) << "a unit count whose bytes overflow 32 bits";
}

TEST_F(OfferRecord, AConfirmationWithoutItsFillSelectsNothing) {
    const std::string text = HA + KAN + JI;
    EXPECT_FALSE(Confirm(0, 2)) << "no fill at all";
    ASSERT_EQ(Fill(text, 0, 6, 6), RECORD_SIZE);
    EXPECT_TRUE(Confirm(0, 2));
    EXPECT_FALSE(Confirm(0, 2)) << "the fill was used up by its confirmation";
    ASSERT_EQ(Fill(text, 0, 6, 6), RECORD_SIZE);
    EXPECT_FALSE(Confirm(0, 2, 0, reinterpret_cast<HWND>(0x999))) << "another window";
    ASSERT_EQ(Fill(text, 0, 6, 6), RECORD_SIZE);
    SetCurrentThreadId(8);
    EXPECT_FALSE(Confirm(0, 2)) << "another thread";
    SetCurrentThreadId(4);
    EXPECT_TRUE(Confirm(0, 2)) << "its own thread";
    g_noting.result = 6;
    ASSERT_EQ(BuildReconvertString(window, REQUEST_DOCUMENT_FEED, record, 0, Noting), RECORD_SIZE);
    EXPECT_FALSE(Confirm(0, 2)) << "a document feed is no fill to confirm";
    ASSERT_EQ(Fill(text, 0, 6, 6), RECORD_SIZE);
    ASSERT_EQ(Fill("ab", 0, 2, 1), 0) << "nothing offered";
    EXPECT_FALSE(Confirm(0, 2)) << "a refused fill";
}

// The offer is the window's: a document feed through any entry, or a fill
// of another window, between a fill and its confirmation changes nothing.
TEST_F(OfferRecord, FeedsAndOtherWindowsBetweenAFillAndItsConfirmation) {
    const std::string text = "ab" + HA + KAN + JI + HI + HU;
    HWND other = reinterpret_cast<HWND>(0x999);
    ASSERT_EQ(Fill(text, 0, int(text.size()), 4), RECORD_SIZE);  // caret after あ: offset 2
    std::vector<unsigned char> saved(record, record + RECORD_SIZE);
    for (int unicode : {0, 1}) {
        g_noting = {text, 6, 4, 0};  // a feed at another caret, handed back elsewhere
        unsigned char feed[RECORD_SIZE] = {};
        ASSERT_EQ(BuildReconvertString(window, REQUEST_DOCUMENT_FEED, feed, unicode, Noting), RECORD_SIZE);
    }
    ASSERT_EQ(BuildReconvertString(other, REQUEST_RECONVERT, record + 0, 0, Noting), RECORD_SIZE);
    memcpy(record, saved.data(), saved.size());
    ASSERT_TRUE(Confirm(2, 4)) << "漢字, as the window's own fill offered it";
    EXPECT_EQ(g_noting.start, 4);
    EXPECT_EQ(g_noting.end, 8);
}

// A thread that finds its record held (a request inside a request) notes
// nothing, and its confirmation selects nothing.
TEST_F(OfferRecord, AHeldRecordIsNotWaitedFor) {
    WINDOWRECORD* held = ClaimRecord(window, CLAIM_FOR_WINDOW);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(ClaimRecord(window, CLAIM_FOR_WINDOW), nullptr);
    ASSERT_EQ(Fill(HA + KAN, 0, 4, 4), RECORD_SIZE);
    EXPECT_FALSE(Confirm(0, 2));
    GiveRecord(held);
    ASSERT_EQ(Fill(HA + KAN, 0, 4, 4), RECORD_SIZE);
    EXPECT_TRUE(Confirm(0, 2));
}

// Feeds to other windows (records with nothing pending) never take a pending
// offer's place, nothing a subclass's; a record goes with its window.
TEST_F(OfferRecord, RecordsKeepPendingOffersAndSubclassesAndGoWithTheirWindows) {
    auto Window = [](uintptr_t n) { return reinterpret_cast<HWND>(n); };
    ASSERT_EQ(Fill(HA + KAN + JI, 0, 6, 6), RECORD_SIZE);
    for (uintptr_t n = 1; n <= 2 * WINDOW_RECORDS; ++n) NoteFeedSize(Window(0x10000 + n), true);
    EXPECT_TRUE(Confirm(0, 2)) << "the offer outlived feeds to 32 other windows";

    ASSERT_EQ(Fill(HA + KAN + JI, 0, 6, 6), RECORD_SIZE);
    NoteFeedSize(window, true);
    DropWindowRecord(window, false);
    EXPECT_FALSE(FeedSizedHere(window));
    EXPECT_FALSE(Confirm(0, 2)) << "the offer went with its window";

    for (uintptr_t n = 0; n < WINDOW_RECORDS; ++n) {
        HeldRecord r(Window(0x20000 + n), CLAIM_FOR_OFFER);
        ASSERT_TRUE(r);
        r->Subclassed = true;
    }
    EXPECT_FALSE(HeldRecord(window, CLAIM_FOR_OFFER)) << "a subclassed window's record was taken";
    SetGoneWindow(Window(0x20003));
    EXPECT_TRUE(HeldRecord(window, CLAIM_FOR_OFFER)) << "the gone window's record is free again";
    SetGoneWindow(nullptr);
}

}  // namespace
