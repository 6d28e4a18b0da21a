// The IME side on its own, without RODAVOZI.DLL: character kinds and the
// word an IME takes at the caret, the record checks, the editor-text check,
// and the request flow against a window of the test's own that answers like
// an application would (or would not).
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "candidates.h"
#include "char_kinds.h"
#include "ime_client.h"
#include "record_check.h"
#include "text_check.h"

using namespace imeside;

namespace {

std::string S(const std::u16string& text) { return Utf16ToSjis(text); }

// The word at the caret (a character index) as text, in both encodings.
std::u16string Word(const std::u16string& text, size_t caretChars, bool utf16) {
    ByteRange word;
    if (utf16) {
        if (!WordAtCaret(SplitUtf16(text), uint32_t(caretChars * 2), &word)) return u"(none)";
        return text.substr(word.offset / 2, word.length / 2);
    }
    std::string sjis = S(text);
    uint32_t caret = uint32_t(S(text.substr(0, caretChars)).size());
    if (!WordAtCaret(SplitSjis(sjis), caret, &word)) return u"(none)";
    return SjisToUtf16(sjis.substr(word.offset, word.length));
}

TEST(CharKinds, ShiftJisAndUtf16AgreeOnEveryDoubleByteCharacter) {
    int checked = 0;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsSjisLead(uint8_t(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!IsSjisTrail(uint8_t(trail))) continue;
            char bytes[2] = {char(lead), char(trail)};
            wchar_t wide[2];
            if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) != 1) continue;
            std::vector<Cell> cells = SplitSjis(std::string(bytes, 2));
            ASSERT_EQ(cells.size(), 1u);
            EXPECT_EQ(KindName(cells[0].kind), std::string(KindName(KindOfUtf16(wide[0]))))
                << std::hex << lead * 256 + trail << " U+" << unsigned(wide[0]);
            ++checked;
        }
    }
    EXPECT_GT(checked, 7000);
}

TEST(CharKinds, SingleBytesAndBrokenCharacters) {
    std::vector<Cell> cells = SplitSjis("A\t\xB6\x80" "\x82\xA0" "\x82 " "\x88");
    ASSERT_EQ(cells.size(), 8u);
    EXPECT_EQ(cells[0].kind, CharKind::Ascii);
    EXPECT_EQ(cells[1].kind, CharKind::Control);
    EXPECT_EQ(cells[2].kind, CharKind::HalfKatakana);
    EXPECT_EQ(cells[3].kind, CharKind::Broken);  // 0x80 begins nothing
    EXPECT_EQ(cells[4].kind, CharKind::Hiragana);
    EXPECT_EQ(cells[4].size, 2u);
    EXPECT_EQ(cells[5].kind, CharKind::Broken);  // lead byte before a space: the space stays a character
    EXPECT_EQ(cells[6].kind, CharKind::Ascii);
    EXPECT_EQ(cells[7].kind, CharKind::Broken);  // lead byte at the end
    std::vector<Cell> wide = SplitUtf16(u"a\U00020B9F\xD800");
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1].kind, CharKind::Kanji);
    EXPECT_EQ(wide[1].size, 4u);
    EXPECT_EQ(wide[2].kind, CharKind::Broken);
}

TEST(WordAtCaret, RunsOfOneKindAroundTheCaret) {
    for (bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "Shift-JIS");
        EXPECT_EQ(Word(u"ここで漢字を変換。", 8, utf16), u"変換");      // after a word
        EXPECT_EQ(Word(u"ここで漢字を変換。", 7, utf16), u"変換");      // inside it
        EXPECT_EQ(Word(u"変換する", 0, utf16), u"変換する");            // stem and ending
        EXPECT_EQ(Word(u"変換する", 2, utf16), u"変換する");
        EXPECT_EQ(Word(u"テストする", 3, utf16), u"テスト");           // katakana stays apart
        EXPECT_EQ(Word(u"すると変換", 4, utf16), u"変換");              // hiragana before kanji is not its ending
        EXPECT_EQ(Word(u"カタカナ漢字", 4, utf16), u"カタカナ");        // at a boundary the word before wins
        EXPECT_EQ(Word(u"珈琲とコーヒー", 7, utf16), u"コーヒー");      // prolonged marks belong to the kana
        EXPECT_EQ(Word(u"すごーい", 4, utf16), u"すごーい");
        EXPECT_EQ(Word(u"ＡＢＣ１２３", 2, utf16), u"ＡＢＣ１２３");
        EXPECT_EQ(Word(u"漢字　変換", 3, utf16), u"変換");              // a full-width space separates
        EXPECT_EQ(Word(u"漢字　変換", 2, utf16), u"漢字");
        EXPECT_EQ(Word(u"々の佐々木", 5, utf16), u"佐々木");
        EXPECT_EQ(Word(u"「」。、", 2, utf16), u"(none)");             // no word among symbols
        EXPECT_EQ(Word(u"", 0, utf16), u"(none)");
    }
    // One-byte characters never join a word.
    ByteRange word;
    std::string text = "ABC\xB6\xC5" + S(u"変換") + "xyz";
    ASSERT_TRUE(WordAtCaret(SplitSjis(text), 9, &word));
    EXPECT_EQ(word, (ByteRange{5, 4}));
    EXPECT_FALSE(WordAtCaret(SplitSjis("abc"), 1, &word));
}

// A record of `size` bytes with the given header and string bytes at 32.
std::vector<uint8_t> Record(RecordHeader header, const std::string& string, size_t size = 160) {
    std::vector<uint8_t> bytes(size, 0xA5);
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + 32, string.data(), string.size());
    return bytes;
}

std::string Problems(const std::vector<uint8_t>& bytes, Encoding encoding, size_t allocated = 160) {
    RecordView view;
    std::string all;
    for (const std::string& p : CheckRecord(bytes.data(), allocated, encoding, 0, &view)) all += p + "; ";
    return all;
}

TEST(CheckRecord, SoundRecordsPass) {
    std::string kanji = S(u"変換");
    RecordView view;
    std::vector<uint8_t> ansi = Record({160, 0, 4, 32, 4, 0, 4, 0}, kanji + std::string(1, '\0'));
    EXPECT_EQ(Problems(ansi, Encoding::Ansi), "");
    ASSERT_TRUE(CheckRecord(ansi.data(), 160, Encoding::Ansi, 0, &view).empty());
    EXPECT_EQ(view.ansi, kanji);
    EXPECT_EQ(view.composition, (ByteRange{0, 4}));

    std::u16string wide = u"漢字変換";
    std::string wideBytes(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * 2);
    std::vector<uint8_t> utf16 = Record({160, 0, 4, 32, 0, 4, 0, 4}, wideBytes);
    ASSERT_TRUE(CheckRecord(utf16.data(), 160, Encoding::Utf16, 0, &view).empty());
    EXPECT_EQ(view.wide, wide);
    EXPECT_EQ(view.composition, (ByteRange{4, 0}));  // caret between the two words
}

TEST(CheckRecord, EachBrokenRuleIsNamed) {
    const std::string kanji = S(u"変換") + std::string(1, '\0');
    struct Case {
        const char* expect;
        RecordHeader header;
        std::string string;
        Encoding encoding;
        size_t allocated;
    } cases[] = {
        {"exceeds the 100 bytes allocated", {160, 0, 4, 32, 4, 0, 4, 0}, kanji, Encoding::Ansi, 100},
        {"smaller than the header", {16, 0, 0, 32, 0, 0, 0, 0}, kanji, Encoding::Ansi, 160},
        {"dwVersion changed from 0 to 1", {160, 1, 4, 32, 4, 0, 4, 0}, kanji, Encoding::Ansi, 160},
        {"inside the header", {160, 0, 4, 8, 0, 0, 0, 0}, kanji, Encoding::Ansi, 160},
        {"does not fit", {160, 0, 200, 32, 0, 0, 0, 0}, kanji, Encoding::Ansi, 160},
        {"not terminated", {160, 0, 3, 32, 2, 0, 2, 0}, kanji, Encoding::Ansi, 160},
        {"zero byte inside", {160, 0, 5, 32, 4, 0, 4, 0}, kanji + "x", Encoding::Ansi, 160},
        {"reaches past the string", {160, 0, 4, 32, 4, 2, 0, 2}, kanji, Encoding::Ansi, 160},
        {"lies outside the composition", {160, 0, 4, 32, 2, 0, 2, 2}, kanji, Encoding::Ansi, 160},
        {"composition starts inside a character", {160, 0, 4, 32, 2, 1, 0, 1}, kanji, Encoding::Ansi, 160},
        {"lead byte of a cut", {160, 0, 3, 32, 0, 0, 0, 0}, kanji.substr(0, 3) + std::string(1, '\0'),
         Encoding::Ansi, 160},
        {"begins no character", {160, 0, 2, 32, 0, 0, 0, 0}, std::string("\x80" "a", 3), Encoding::Ansi, 160},
        {"dwCompStrOffset 3 is odd", {160, 0, 2, 32, 0, 3, 0, 3}, std::string("a\0b\0\0\0", 6), Encoding::Utf16,
         160},
        {"not terminated by a zero unit", {160, 0, 1, 32, 0, 0, 0, 0}, std::string("a\0b\0", 4), Encoding::Utf16,
         160},
        {"half of a surrogate pair", {160, 0, 1, 32, 0, 0, 0, 0}, std::string("\x00\xD8\0\0", 4), Encoding::Utf16,
         160},
    };
    for (const Case& c : cases) {
        std::string problems = Problems(Record(c.header, c.string), c.encoding, c.allocated);
        EXPECT_NE(problems.find(c.expect), std::string::npos) << c.expect << " -- got: " << problems;
    }
}

TEST(CheckReplacement, TellsWhatHappenedToTheText) {
    const std::string before = S(u"前の行：日本語の文章を変換する：後の行");
    const uint32_t start = uint32_t(S(u"前の行：").size());
    const uint32_t length = uint32_t(S(u"日本語の文章").size());
    const std::string result = S(u"二本語の文書");

    TextVerdict v = CheckReplacement(before, S(u"前の行：二本語の文書を変換する：後の行"), start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::Replaced) << v.description;

    v = CheckReplacement(before, before, start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::Unchanged);

    v = CheckReplacement(before, S(u"前の行：二本語の文書日本語の文章を変換する：後の行"), start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::Inserted) << v.description;
    EXPECT_EQ(v.keptInside, length);
    EXPECT_FALSE(v.LostText());

    // The whole selection replaced when only its first part was meant.
    v = CheckReplacement(before, S(u"前の行：二本語の文書する：後の行"), start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::WrongRange) << v.description;
    EXPECT_EQ(v.lostAfter, S(u"を変換").size());
    EXPECT_EQ(v.lostBefore, 0u);
    EXPECT_TRUE(v.LostText());

    // Shifted two bytes (one character) to the left.
    v = CheckReplacement(before, S(u"前の行二本語の文書章を変換する：後の行"), start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::WrongRange) << v.description;
    EXPECT_EQ(v.lostBefore, 2u);
    EXPECT_EQ(v.keptInside, 2u);

    v = CheckReplacement(before, S(u"まったく別の文"), start, length, result);
    EXPECT_EQ(v.outcome, TextOutcome::Garbled);
}

TEST(TextHoldsAt, OnlyWhereACharacterBegins) {
    const std::string text = "a" + S(u"あいう");
    EXPECT_TRUE(TextHoldsAt(text, S(u"いう"), 3));
    EXPECT_FALSE(TextHoldsAt(text, S(u"いう"), 2));
    // The bytes 0xA0 0x82 occur at offset 2, across two characters.
    EXPECT_FALSE(TextHoldsAt(text, text.substr(2, 2), 2));
    EXPECT_TRUE(TextHoldsAt(text, "", uint32_t(text.size())));
}

TEST(FirstCandidate, DiffersFromTheReadingAndComesBack) {
    EXPECT_EQ(FirstCandidate(u"変換"), u"返還");
    EXPECT_EQ(FirstCandidate(u"返還"), u"変換");
    EXPECT_EQ(FirstCandidate(u"変換する"), u"返還する");
    EXPECT_EQ(FirstCandidate(u"日本語の文章"), u"二本碁の文書");  // longest words first
    EXPECT_EQ(FirstCandidate(u"ひらがなカタカナ"), u"ヒラガナかたかな");
}

// An application window of the test's own, answering the IME as scripted.
struct FakeApp {
    LRESULT sizeAnswer = 160;
    std::vector<uint8_t> fillWith;  // copied over the record on a fill
    LRESULT fillAnswer = 160;
    LRESULT confirmAnswer = 1;
    RecordHeader confirmed{};
    int confirms = 0;
    std::vector<WPARAM> imeChars;
    UINT lastMessage = 0;
} g_app;

LRESULT CALLBACK FakeAppProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const ImeMessages m = ImeMessages::Register();
    if (message == WM_IME_REQUEST || message == m.msImeReconvert || message == m.atokReconvert ||
        message == m.msImeDocumentFeed || message == m.atokDocumentFeed) {
        g_app.lastMessage = message;
        if (!lParam) return g_app.sizeAnswer;
        if (wParam == IMR_CONFIRMRECONVERTSTRING) {
            memcpy(&g_app.confirmed, reinterpret_cast<void*>(lParam), sizeof g_app.confirmed);
            ++g_app.confirms;
            return g_app.confirmAnswer;
        }
        memcpy(reinterpret_cast<void*>(lParam), g_app.fillWith.data(), g_app.fillWith.size());
        return g_app.fillAnswer;
    }
    if (message == WM_IME_CHAR) {
        g_app.imeChars.push_back(wParam);
        return 0;
    }
    if (message == EM_GETSEL) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

class ImeClientTest : public ::testing::Test {
protected:
    HWND window = nullptr;
    void SetUp() override {
        g_app = FakeApp();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = FakeAppProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "imeside fake app";
        RegisterClassA(&wc);
        window = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }
    // A caret record: `text` with the caret at character `caret`.
    void OfferCaret(const std::u16string& text, size_t caret, bool utf16) {
        std::string bytes = utf16 ? std::string(reinterpret_cast<const char*>(text.c_str()), text.size() * 2)
                                  : S(text);
        uint32_t offset = uint32_t(utf16 ? caret * 2 : S(text.substr(0, caret)).size());
        uint32_t length = uint32_t(utf16 ? text.size() : bytes.size());
        g_app.fillWith = Record({160, 0, length, 32, 0, offset, 0, offset}, bytes + std::string(2, '\0'), 100);
    }
};

TEST_F(ImeClientTest, WideningSendsTheWordAsCompositionAndDeliversItsCandidate) {
    OfferCaret(u"ここで漢字を変換。", 8, false);
    Reconversion r = ImeClient(window).Reconvert(Pattern::Widen);
    ASSERT_TRUE(r.delivered) << r.stopped;
    EXPECT_TRUE(r.widened);
    EXPECT_EQ(g_app.lastMessage, UINT(WM_IME_REQUEST));
    EXPECT_EQ(g_app.confirmed.dwCompStrOffset, 12u);
    EXPECT_EQ(g_app.confirmed.dwCompStrLen, 4u);
    EXPECT_EQ(g_app.confirmed.dwTargetStrOffset, 12u);
    EXPECT_EQ(g_app.confirmed.dwTargetStrLen, 4u);
    EXPECT_EQ(r.composition, u"変換");
    EXPECT_EQ(r.result, u"返還");
    std::string sjis = S(u"返還");
    ASSERT_EQ(g_app.imeChars.size(), 2u);  // one WM_IME_CHAR per character, lead byte high
    EXPECT_EQ(g_app.imeChars[0], WPARAM(uint8_t(sjis[0]) << 8 | uint8_t(sjis[1])));
    EXPECT_EQ(g_app.imeChars[1], WPARAM(uint8_t(sjis[2]) << 8 | uint8_t(sjis[3])));
}

TEST_F(ImeClientTest, Utf16WideningCountsLengthsInUnitsAndOffsetsInBytes) {
    OfferCaret(u"ここで漢字を変換。", 7, true);
    Reconversion r = ImeClient(window).Reconvert(Pattern::Widen16);
    ASSERT_TRUE(r.delivered) << r.stopped;
    EXPECT_EQ(g_app.lastMessage, ImeMessages::Register().msImeReconvert);
    EXPECT_EQ(g_app.confirmed.dwCompStrOffset, 12u);
    EXPECT_EQ(g_app.confirmed.dwCompStrLen, 2u);
    EXPECT_EQ(r.composition, u"変換");
}

TEST_F(ImeClientTest, ADeclinedConfirmationFallsBackToTheEmptyComposition) {
    OfferCaret(u"漢字を変換", 5, false);
    g_app.confirmAnswer = 0;
    Reconversion r = ImeClient(window).Reconvert(Pattern::Widen);
    EXPECT_TRUE(r.confirmSent);
    EXPECT_FALSE(r.delivered);
    EXPECT_TRUE(g_app.imeChars.empty());
    EXPECT_EQ(r.stopped, "confirmation declined");
}

TEST_F(ImeClientTest, TakingTheCompositionAsOfferedStopsAtAnEmptyOne) {
    OfferCaret(u"漢字を変換", 5, false);
    Reconversion r = ImeClient(window).Reconvert(Pattern::Imm);
    EXPECT_TRUE(r.filled);
    EXPECT_FALSE(r.confirmSent);
    EXPECT_EQ(g_app.confirms, 0);
}

TEST_F(ImeClientTest, AnUnsoundRecordIsNeitherConfirmedNorUsed) {
    OfferCaret(u"漢字を変換", 5, false);
    g_app.fillWith[4] = 7;  // dwVersion
    Reconversion r = ImeClient(window).Reconvert(Pattern::Widen);
    EXPECT_EQ(r.stopped, "record rejected");
    EXPECT_EQ(g_app.confirms, 0);
    ASSERT_FALSE(r.fill.problems.empty());
    EXPECT_NE(r.fill.problems[0].find("dwVersion"), std::string::npos);
}

TEST_F(ImeClientTest, AWindowThatWritesPastItsOwnSizeIsCaught) {
    OfferCaret(u"漢字を変換", 5, false);
    g_app.sizeAnswer = 64;  // the fill below writes 100 bytes into 64
    std::fill(g_app.fillWith.begin() + 64, g_app.fillWith.end(), 0);
    Reconversion r = ImeClient(window).Reconvert(Pattern::Widen);
    EXPECT_EQ(r.stopped, "record rejected");
    ASSERT_FALSE(r.fill.problems.empty());
    EXPECT_NE(r.fill.problems[0].find("bytes past the size it answered"), std::string::npos) << r.fill.problems[0];
}

TEST_F(ImeClientTest, DocumentFeedUsesEachFamilysOwnWParam) {
    OfferCaret(u"漢字を変換", 5, true);
    DocumentFeed ms = ImeClient(window).Feed(Pattern::MsIme);
    EXPECT_TRUE(ms.served);
    EXPECT_EQ(ms.record.wParam, 1u);
    EXPECT_TRUE(ms.record.problems.empty());
    EXPECT_EQ(ms.record.view.wide, u"漢字を変換");
    DocumentFeed atok = ImeClient(window).Feed(Pattern::Atok);
    EXPECT_EQ(atok.record.wParam, 0u);
    EXPECT_EQ(g_app.lastMessage, ImeMessages::Register().atokDocumentFeed);
    EXPECT_EQ(g_app.confirms, 0);
}

TEST(Delivery, TheSystemEditControlReplacesItsSelection) {
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPED, 0, 0, 200, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    SetWindowTextA(edit, "abcd");
    SendMessageA(edit, EM_SETSEL, 1, 3);
    ImeClient(edit).Deliver(u"変換");
    char text[64] = {};
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_EQ(SjisToUtf16(text), u"a変換d");
    DestroyWindow(edit);
}

}  // namespace
