// What the user sees after a reconversion: the editor's whole text before
// and after, compared with what the IME meant to replace. Window-system
// free; texts are the editor's ANSI (code page 932) bytes.
#pragma once

#include <stdint.h>

#include <string>

namespace imeside {

enum class TextOutcome {
    Replaced,     // exactly the intended range became the result
    Unchanged,    // the text did not change at all
    Inserted,     // the result went in, nothing was replaced: the old text is duplicated
    WrongRange,   // the result replaced another range than the intended one
    Garbled,      // the text changed in a way no single replacement explains
};
const char* TextOutcomeName(TextOutcome outcome);

struct TextVerdict {
    TextOutcome outcome = TextOutcome::Garbled;
    // For Inserted and WrongRange: the range of the old text that was replaced.
    uint32_t replacedStart = 0, replacedEnd = 0;
    // Bytes of the old text outside the intended range that are gone, and
    // bytes inside it that survived next to the result (duplicated).
    uint32_t lostBefore = 0, lostAfter = 0, keptInside = 0;
    std::string description;
    bool LostText() const { return lostBefore > 0 || lostAfter > 0; }
};

// Compares `after` with `before` in which bytes [start, start + length)
// were to be replaced by `result`.
TextVerdict CheckReplacement(const std::string& before, const std::string& after, uint32_t start, uint32_t length,
                             const std::string& result);

// True when `text` (code page 932) holds `piece` at byte `at`, and `at`
// begins a character when the text is read from its start.
bool TextHoldsAt(const std::string& text, const std::string& piece, uint32_t at);

}  // namespace imeside
