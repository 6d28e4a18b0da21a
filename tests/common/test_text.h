// Text helpers shared by the tests of every tree (native, fuzz, Wine, the
// stand-ins' peers): making texts, printing numbers as the trace lines do,
// and the reference reading of double-byte text. Free of platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// `s` repeated n times.
inline std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// n ASCII letters: "abc...zabc...".
inline std::string Letters(size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += static_cast<char>('a' + i % 26);
    return out;
}

// A number in lower-case hexadecimal, without prefix.
inline std::string Hex(uint64_t value) {
    char text[24];
    snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}
// A pointer, handle or procedure: the whole address.
template <class T>
std::string Hex(T* p) {
    return Hex(reinterpret_cast<uintptr_t>(p));
}
// The same as the module's trace lines print it: its low 32 bits.
template <class T>
std::string Hex32(T* p) {
    return Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
}

// Where characters begin in `text` (length bytes, zero bytes ordinary ones)
// read from its start, a lead byte (isLead) taking the byte after it along
// whatever it is. Element i is true when a character begins at i; element
// `length` when the reading lands exactly at the end, or always when
// `loneLeadAtEnd` makes a lead byte right before the end a character of its
// own. Derived apart from the module's forward walks: a byte that is not a
// lead byte always ends a character, so i is a start when an even number of
// lead bytes stands between it and the last such byte (or the text's start).
template <class IsLead>
std::vector<bool> CharacterStarts(const void* text, size_t length, IsLead isLead, bool loneLeadAtEnd = false) {
    const uint8_t* t = static_cast<const uint8_t*>(text);
    std::vector<bool> starts(length + 2, false);
    size_t leads = 0;  // lead bytes right before i, back to one that ends a character
    for (size_t i = 0; i <= length; ++i) {
        starts[i] = leads % 2 == 0;
        leads = i < length && isLead(t[i]) ? leads + 1 : 0;
    }
    if (loneLeadAtEnd) starts[length] = true;
    return starts;
}

// A text written with its caret '|' or its selection '[' ... ']' marked.
struct MarkedText {
    std::u16string plain;    // the text without the marks
    size_t start, end;       // the caret or selection in units of `plain`; no mark: its end
};
inline MarkedText ParseMarks(const std::u16string& marked) {
    MarkedText t;
    size_t caret = std::u16string::npos, open = caret, close = caret;
    for (char16_t c : marked) {
        if (c == u'|') caret = t.plain.size();
        else if (c == u'[') open = t.plain.size();
        else if (c == u']') close = t.plain.size();
        else t.plain += c;
    }
    t.start = t.end = t.plain.size();
    if (caret != std::u16string::npos) t.start = t.end = caret;
    else if (open != std::u16string::npos && close != std::u16string::npos) t.start = open, t.end = close;
    return t;
}
