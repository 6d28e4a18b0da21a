#include "stress_cases.h"

#include <vector>

using imeside::Pattern;
using imeside::Utf16ToSjis;

namespace {

// Words the run is made of; the IME side's dictionary knows some of them, so
// that a reconverted word visibly changes.
const char16_t* const kWords[] = {
    u"変換", u"機能", u"漢字", u"文章", u"日本", u"入力", u"単語", u"意味", u"行", u"試す",
    u"東京", u"会議", u"新聞", u"電話", u"学校", u"確認", u"ここで", u"を", u"する", u"ました",
    u"ひらがな", u"カタカナ", u"テスト", u"コンピューター", u"ＡＢＣ", u"１２３", u"。", u"、", u"「", u"」",
};

// One-byte characters around the run: letters, digits, blanks, a tab, line
// breaks, half-width katakana.
std::string OneByteText(StressRandom& r, uint32_t length) {
    static const char kPlain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;-_()";
    std::string out;
    while (out.size() < length) {
        uint32_t pick = r.Below(40);
        if (pick == 0 && out.size() + 2 <= length)
            out += "\r\n";
        else if (pick == 1)
            out += '\t';
        else if (pick <= 4)
            out += static_cast<char>(0xB1 + r.Below(0xDD - 0xB1 + 1));  // half-width katakana
        else
            out += kPlain[r.Below(sizeof kPlain - 1)];
    }
    return out;
}

char Letter(StressRandom& r) { return static_cast<char>('a' + r.Below(26)); }

// Double-byte characters, `count` of them: whole words, the last one cut.
std::u16string Run(StressRandom& r, uint32_t count) {
    std::u16string run;
    while (run.size() < count) run += kWords[r.Below(sizeof kWords / sizeof kWords[0])];
    run.resize(count);
    return run;
}

// Japanese prose with line breaks and ASCII, exactly `length` bytes; the
// last few are letters.
std::string Filler(StressRandom& r, size_t length) {
    std::string out;
    out.reserve(length);
    while (out.size() + 80 < length) {
        out += Utf16ToSjis(Run(r, r.Between(5, 30)));
        out += OneByteText(r, r.Between(1, 12));
        if (r.Percent(30)) out += "\r\n";
    }
    while (out.size() < length) out += Letter(r);
    return out;
}

Pattern ReconversionPattern(int kind) {
    switch (kind) {
    case KIND_MSIME_CARET:
    case KIND_MSIME_SELECTION: return Pattern::MsIme;
    case KIND_ATOK_CARET:
    case KIND_ATOK_SELECTION: return Pattern::Atok;
    case KIND_WIDEN_CARET: return Pattern::Widen;
    case KIND_WIDEN16_CARET: return Pattern::Widen16;
    default: return Pattern::Imm;
    }
}

// A caret in a run: one-byte text, the run, one-byte text, the caret at most
// 7 characters from the run's ends. With `oneByteHead`, up to 24 one-byte
// characters stand before the run, else nothing (the caller puts text there).
void CaretInRun(StressRandom& r, StressCase* c, bool oneByteHead = true) {
    uint32_t before = r.Between(0, 7), after = r.Between(before == 0 ? 1 : 0, 7);
    std::u16string run = Run(r, before + after);
    std::string head = oneByteHead ? OneByteText(r, r.Between(0, 24)) : std::string();
    std::string sjis = Utf16ToSjis(run);
    c->stringStart = static_cast<uint32_t>(head.size());
    c->text = head + sjis + OneByteText(r, r.Between(0, 24));
    c->anchor = c->caret = c->stringStart + 2 * before;
    c->offered = true;
    c->string = sjis;
    c->compOffset = 2 * before;
    c->compLength = 0;
}

}  // namespace

StressCase MakeStressCase(int kind, uint32_t seed) {
    StressRandom r(seed * 0x100000001ull + static_cast<uint64_t>(kind));
    StressCase c;
    c.pattern = ReconversionPattern(kind);
    switch (kind) {
    case KIND_IMM_CARET:
    case KIND_MSIME_CARET:
    case KIND_ATOK_CARET:
    case KIND_WIDEN_CARET:
    case KIND_WIDEN16_CARET:
        CaretInRun(r, &c);
        break;
    case KIND_MSIME_FEED:
    case KIND_ATOK_FEED:
        c.feed = true;
        c.pattern = kind == KIND_MSIME_FEED ? Pattern::MsIme : Pattern::Atok;
        CaretInRun(r, &c);
        break;
    case KIND_IMM_SELECTION:
    case KIND_MSIME_SELECTION:
    case KIND_ATOK_SELECTION: {
        // 1 to 25 characters selected inside a run of up to 30; the first 20
        // are offered, whole, as composition and target.
        uint32_t selected = r.Between(1, 25);
        uint32_t lead = r.Between(0, 3), trail = r.Between(0, 2);
        std::string head = OneByteText(r, r.Between(0, 24));
        std::string sjis = Utf16ToSjis(Run(r, lead + selected + trail));
        c.text = head + sjis + OneByteText(r, r.Between(0, 24));
        uint32_t low = static_cast<uint32_t>(head.size()) + 2 * lead, high = low + 2 * selected;
        bool backwards = r.Percent(25);
        c.anchor = backwards ? high : low;
        c.caret = backwards ? low : high;
        uint32_t offered = selected > 20 ? 20 : selected;
        c.offered = true;
        c.stringStart = low;
        c.string = c.text.substr(low, 2 * offered);
        c.compOffset = 0;
        c.compLength = 2 * offered;
        break;
    }
    case KIND_CARET_IN_ASCII: {
        // Letters on both sides of the caret: a reconversion is refused, a
        // feed answered with an empty string.
        static const Pattern kPatterns[] = {Pattern::Imm, Pattern::MsIme, Pattern::Atok, Pattern::Widen,
                                            Pattern::Widen16};
        uint32_t pick = r.Below(7);
        c.feed = pick >= 5;
        c.pattern = c.feed ? (pick == 5 ? Pattern::MsIme : Pattern::Atok) : kPatterns[pick];
        std::string head = OneByteText(r, r.Between(0, 24)) + Letter(r);
        c.text = head + Letter(r) + Utf16ToSjis(Run(r, r.Between(1, 6))) + OneByteText(r, r.Between(0, 8));
        c.anchor = c.caret = static_cast<uint32_t>(head.size());
        c.offered = c.feed;
        break;
    }
    case KIND_SELECTION_ASCII: {
        static const Pattern kPatterns[] = {Pattern::Imm, Pattern::MsIme, Pattern::Atok};
        c.pattern = kPatterns[r.Below(3)];
        std::string head = OneByteText(r, r.Between(0, 24));
        uint32_t selected = r.Between(1, 10);
        c.text = head + Letter(r) + Utf16ToSjis(Run(r, selected + 2));
        c.anchor = static_cast<uint32_t>(head.size());
        c.caret = c.anchor + 1 + 2 * selected;
        c.offered = false;
        break;
    }
    case KIND_LONGEST_TEXT: {
        // The longest text served: 65,534 bytes, the run at its end.
        static const Pattern kPatterns[] = {Pattern::Widen, Pattern::Widen16, Pattern::MsIme};
        uint32_t pick = r.Below(3);
        c.feed = pick == 2;
        c.pattern = kPatterns[pick];
        CaretInRun(r, &c, false);
        // Filler ends with letters, so the run stays apart from it.
        std::string head = Filler(r, 65534 - c.text.size());
        c.text = head + c.text;
        c.stringStart += static_cast<uint32_t>(head.size());
        c.anchor = c.caret = c.caret + static_cast<uint32_t>(head.size());
        break;
    }
    case KIND_TOO_LONG: {
        // One byte more: nothing at all is offered, not even to a feed.
        static const Pattern kPatterns[] = {Pattern::Imm, Pattern::Widen16, Pattern::Atok};
        uint32_t pick = r.Below(3);
        c.feed = pick == 2;
        c.pattern = kPatterns[pick];
        std::string tail = "x" + Utf16ToSjis(Run(r, 6)) + "y";
        c.text = Filler(r, 65535 - tail.size()) + tail;
        c.anchor = c.caret = static_cast<uint32_t>(c.text.size()) - 5;
        c.offered = false;
        break;
    }
    }
    return c;
}
