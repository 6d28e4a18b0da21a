// What a Japanese IME sees in a reconversion string: characters of code page
// 932 (Shift-JIS) in an ANSI record, or UTF-16 units in a Unicode record,
// each of a kind (kanji, hiragana, ...), and the word it takes around the
// caret when the application offers no composition of its own.
//
// Window-system free: the byte ranges of code page 932 and the Unicode blocks
// are written out here, so that the IME side never leans on the code that it
// is testing, nor on the process's ANSI code page.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace imeside {

// Shift-JIS lead and trail bytes (code page 932).
bool IsSjisLead(uint8_t byte);
bool IsSjisTrail(uint8_t byte);

enum class CharKind {
    Control,       // below 0x20 (tab, line breaks, ...)
    Ascii,         // one-byte letters, digits, punctuation, space
    HalfKatakana,  // one-byte katakana 0xA1..0xDF (U+FF61..U+FF9F)
    Kanji,         // ideographs, and the repeat mark 々
    Hiragana,
    Katakana,
    ProlongedMark, // ー: lengthens the kana before it
    FullLetter,    // full-width Latin letters and digits
    FullSpace,     // the ideographic space 0x8140 / U+3000
    Symbol,        // any other double-byte character (。、「」 ...)
    Broken,        // a lead byte without its trail, or a byte that begins nothing
};
const char* KindName(CharKind kind);

// One character of a reconversion string: where it lies, in bytes from the
// start of the string (also for UTF-16, where offsets in the record are byte
// counts), and what it is.
struct Cell {
    uint32_t offset;
    uint32_t size;
    CharKind kind;
};

// The characters of a Shift-JIS string, walked from its first byte as the
// text is read; a lead byte at the very end makes a Broken cell of one byte.
std::vector<Cell> SplitSjis(const std::string& text);
// The lead bytes of another ANSI code page (936, 949, 950, or one without
// double-byte characters), as the platform reports them: a lead byte and a
// trail byte after it make one cell of kind Symbol, a lead byte without one a
// Broken cell, any other byte a cell of one byte.
struct LeadBytes {
    bool lead[256] = {};
};
std::vector<Cell> SplitAnsi(const std::string& text, const LeadBytes& leads);

// The characters of a UTF-16 string (a surrogate pair is one cell of 4 bytes).
std::vector<Cell> SplitUtf16(const std::u16string& text);

CharKind KindOfUtf16(char32_t codePoint);

// A byte range of a reconversion string.
struct ByteRange {
    uint32_t offset = 0;
    uint32_t length = 0;
    bool operator==(const ByteRange& other) const { return offset == other.offset && length == other.length; }
};

// The word an IME reconverts when the caret (a byte offset that begins a
// cell, or the end) has no composition around it: a run of characters of
// one kind (kanji, hiragana, katakana, full-width letters); a kanji run with
// the hiragana right after it is one word (stem and ending), and a prolonged
// mark belongs to the kana before it. The word that holds the caret inside
// wins; at a boundary the word before the caret, else the one after it.
// Returns false when no word touches the caret.
bool WordAtCaret(const std::vector<Cell>& cells, uint32_t caret, ByteRange* word);

// True when `offset` begins a cell or is the end of the last one.
bool IsCellBoundary(const std::vector<Cell>& cells, uint32_t offset);

}  // namespace imeside
