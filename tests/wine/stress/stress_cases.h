// The texts of the stress requests: for each request kind and case seed, an
// editor text with a caret or selection, and what an IME must be offered
// for it. The texts are a run of double-byte characters (words of kanji,
// kana, full-width letters and punctuation) between one-byte text (ASCII,
// tabs, line breaks, half-width katakana); the caret stays within 7
// characters of either end of the run, where the whole run is always
// offered, and a selection lies inside the run.
//
// Window-system free apart from the code page conversions of imeside.
#pragma once

#include <stdint.h>

#include <string>

#include "ime_client.h"
#include "stress_protocol.h"

struct StressCase {
    std::string text;             // code page 932
    uint32_t anchor = 0, caret = 0;  // as given to EM_SETSEL (a selection may run backwards)
    uint32_t Low() const { return anchor < caret ? anchor : caret; }
    uint32_t High() const { return anchor < caret ? caret : anchor; }
    bool IsCaret() const { return anchor == caret; }

    bool feed = false;  // a document feed, not a reconversion
    imeside::Pattern pattern = imeside::Pattern::Imm;

    // What the fill must do.
    bool offered = false;         // a record with a string (or, for a feed, an empty one) comes back
    std::string string;           // the string offered, code page 932
    uint32_t stringStart = 0;     // where that string stands in the text
    uint32_t compOffset = 0;      // the composition (and target) in the string, bytes
    uint32_t compLength = 0;
};

StressCase MakeStressCase(int kind, uint32_t seed);
