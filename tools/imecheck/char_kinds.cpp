#include "char_kinds.h"

namespace imeside {

bool IsSjisLead(uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

bool IsSjisTrail(uint8_t byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

const char* KindName(CharKind kind) {
    switch (kind) {
    case CharKind::Control: return "control";
    case CharKind::Ascii: return "ascii";
    case CharKind::HalfKatakana: return "half-width katakana";
    case CharKind::Kanji: return "kanji";
    case CharKind::Hiragana: return "hiragana";
    case CharKind::Katakana: return "katakana";
    case CharKind::ProlongedMark: return "prolonged mark";
    case CharKind::FullLetter: return "full-width letter";
    case CharKind::FullSpace: return "full-width space";
    case CharKind::Symbol: return "symbol";
    case CharKind::Broken: return "broken";
    }
    return "?";
}

namespace {

CharKind KindOfSingleByte(uint8_t byte) {
    if (byte < 0x20 || byte == 0x7F) return CharKind::Control;
    if (byte < 0x80) return CharKind::Ascii;
    if (byte >= 0xA1 && byte <= 0xDF) return CharKind::HalfKatakana;
    return CharKind::Broken;  // 0x80, 0xA0, 0xFD..0xFF begin no character
}

// A double-byte character of code page 932, as lead * 256 + trail.
CharKind KindOfSjisPair(unsigned code) {
    switch (code) {
    case 0x8140: return CharKind::FullSpace;
    case 0x8152: case 0x8153: return CharKind::Katakana;  // ヽ ヾ
    case 0x8154: case 0x8155: return CharKind::Hiragana;  // ゝ ゞ
    case 0x8157: case 0x8158: case 0x8159: case 0x815A: return CharKind::Kanji;  // 仝 々 〆 〇
    case 0x815B: return CharKind::ProlongedMark;
    default: break;
    }
    if (code >= 0x824F && code <= 0x8258) return CharKind::FullLetter;  // ０..９
    if (code >= 0x8260 && code <= 0x8279) return CharKind::FullLetter;  // Ａ..Ｚ
    if (code >= 0x8281 && code <= 0x829A) return CharKind::FullLetter;  // ａ..ｚ
    if (code >= 0x829F && code <= 0x82F1) return CharKind::Hiragana;
    if (code >= 0x8340 && code <= 0x8396) return CharKind::Katakana;
    // JIS levels 1 and 2, and the two blocks of IBM extension kanji (whose
    // first rows hold roman numerals and a few signs).
    if (code >= 0x889F && code <= 0x9FFC) return CharKind::Kanji;
    if (code >= 0xE040 && code <= 0xEAA4) return CharKind::Kanji;
    if (code >= 0xED40 && code <= 0xEEEC) return CharKind::Kanji;
    if (code >= 0xFA5C && code <= 0xFC4B) return CharKind::Kanji;
    return CharKind::Symbol;
}

bool IsWordKind(CharKind kind) {
    return kind == CharKind::Kanji || kind == CharKind::Hiragana || kind == CharKind::Katakana ||
           kind == CharKind::FullLetter || kind == CharKind::ProlongedMark;
}

struct Token {
    uint32_t begin, end;
    CharKind tail;  // kind of the last run in the token
};

std::vector<Token> Words(const std::vector<Cell>& cells) {
    std::vector<Token> words;
    bool open = false;
    for (const Cell& cell : cells) {
        CharKind kind = cell.kind;
        if (!IsWordKind(kind)) {
            open = false;
            continue;
        }
        if (open) {
            Token& word = words.back();
            bool joins = kind == word.tail ||
                         (kind == CharKind::Hiragana && word.tail == CharKind::Kanji) ||
                         (kind == CharKind::ProlongedMark &&
                          (word.tail == CharKind::Hiragana || word.tail == CharKind::Katakana));
            if (joins && word.end == cell.offset) {
                word.end = cell.offset + cell.size;
                if (kind != CharKind::ProlongedMark) word.tail = kind;
                continue;
            }
        }
        // A prolonged mark with no kana before it starts a katakana word.
        CharKind tail = kind == CharKind::ProlongedMark ? CharKind::Katakana : kind;
        words.push_back(Token{cell.offset, cell.offset + cell.size, tail});
        open = true;
    }
    return words;
}

}  // namespace

CharKind KindOfUtf16(char32_t c) {
    if (c < 0x20 || c == 0x7F) return CharKind::Control;
    if (c < 0x7F) return CharKind::Ascii;
    if (c >= 0xD800 && c <= 0xDFFF) return CharKind::Broken;
    if (c == 0x3000) return CharKind::FullSpace;
    if (c == 0x30FC) return CharKind::ProlongedMark;
    if (c >= 0x3005 && c <= 0x3007) return CharKind::Kanji;
    if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E) return CharKind::Hiragana;
    if ((c >= 0x30A1 && c <= 0x30FA) || c == 0x30FD || c == 0x30FE) return CharKind::Katakana;
    if ((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0x20000 && c <= 0x3FFFF))
        return CharKind::Kanji;
    if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A))
        return CharKind::FullLetter;
    if (c >= 0xFF61 && c <= 0xFF9F) return CharKind::HalfKatakana;
    return CharKind::Symbol;
}

std::vector<Cell> SplitSjis(const std::string& text) {
    std::vector<Cell> cells;
    const uint32_t n = static_cast<uint32_t>(text.size());
    for (uint32_t i = 0; i < n;) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        if (IsSjisLead(lead)) {
            if (i + 1 < n && IsSjisTrail(static_cast<uint8_t>(text[i + 1]))) {
                cells.push_back(Cell{i, 2, KindOfSjisPair(lead * 256u + static_cast<uint8_t>(text[i + 1]))});
                i += 2;
            } else {
                cells.push_back(Cell{i, 1, CharKind::Broken});
                i += 1;
            }
            continue;
        }
        cells.push_back(Cell{i, 1, KindOfSingleByte(lead)});
        i += 1;
    }
    return cells;
}

std::vector<Cell> SplitAnsi(const std::string& text, const LeadBytes& leads) {
    std::vector<Cell> cells;
    const uint32_t n = static_cast<uint32_t>(text.size());
    for (uint32_t i = 0; i < n;) {
        uint8_t byte = static_cast<uint8_t>(text[i]);
        if (leads.lead[byte]) {
            // Trail bytes of 936, 949 and 950 all lie in 0x40..0xFE.
            uint8_t trail = i + 1 < n ? static_cast<uint8_t>(text[i + 1]) : 0;
            bool paired = trail >= 0x40 && trail != 0x7F && trail != 0xFF;
            cells.push_back(Cell{i, paired ? 2u : 1u, paired ? CharKind::Symbol : CharKind::Broken});
            i += paired ? 2 : 1;
            continue;
        }
        CharKind kind = byte < 0x20 || byte == 0x7F ? CharKind::Control : byte < 0x80 ? CharKind::Ascii : CharKind::Symbol;
        cells.push_back(Cell{i, 1, kind});
        i += 1;
    }
    return cells;
}

std::vector<Cell> SplitUtf16(const std::u16string& text) {
    std::vector<Cell> cells;
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        char16_t u = text[i];
        uint32_t offset = static_cast<uint32_t>(i * 2);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            char32_t c = 0x10000 + ((u - 0xD800u) << 10) + (text[i + 1] - 0xDC00u);
            cells.push_back(Cell{offset, 4, KindOfUtf16(c)});
            i += 2;
            continue;
        }
        cells.push_back(Cell{offset, 2, KindOfUtf16(u)});
        i += 1;
    }
    return cells;
}

bool IsCellBoundary(const std::vector<Cell>& cells, uint32_t offset) {
    if (offset == 0) return true;
    for (const Cell& cell : cells) {
        if (cell.offset == offset) return true;
        if (cell.offset + cell.size == offset) return true;
        if (cell.offset > offset) return false;
    }
    return false;
}

bool WordAtCaret(const std::vector<Cell>& cells, uint32_t caret, ByteRange* word) {
    const Token* before = nullptr;
    const Token* after = nullptr;
    std::vector<Token> words = Words(cells);
    for (const Token& token : words) {
        if (token.begin < caret && caret < token.end) {
            *word = ByteRange{token.begin, token.end - token.begin};
            return true;
        }
        if (token.end == caret) before = &token;
        if (token.begin == caret) after = &token;
    }
    const Token* chosen = before ? before : after;
    if (!chosen) return false;
    *word = ByteRange{chosen->begin, chosen->end - chosen->begin};
    return true;
}

}  // namespace imeside
