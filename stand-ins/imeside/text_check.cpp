#include "text_check.h"

#include <stdio.h>

#include "char_kinds.h"

namespace imeside {

const char* TextOutcomeName(TextOutcome outcome) {
    switch (outcome) {
    case TextOutcome::Replaced: return "replaced as intended";
    case TextOutcome::Unchanged: return "text unchanged";
    case TextOutcome::Inserted: return "inserted without replacing";
    case TextOutcome::WrongRange: return "wrong range replaced";
    case TextOutcome::Garbled: return "text garbled";
    }
    return "?";
}

namespace {

std::string Printf(const char* format, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
    char text[200];
    snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

}  // namespace

TextVerdict CheckReplacement(const std::string& before, const std::string& after, uint32_t start, uint32_t length,
                             const std::string& result) {
    TextVerdict verdict;
    const uint32_t end = start + length;
    if (end <= before.size() && after == before.substr(0, start) + result + before.substr(end)) {
        verdict.outcome = TextOutcome::Replaced;
        verdict.replacedStart = start;
        verdict.replacedEnd = end;
        verdict.description = Printf("bytes %u to %u replaced as intended", start, end);
        return verdict;
    }
    if (after == before) {
        verdict.outcome = TextOutcome::Unchanged;
        verdict.description = Printf("text unchanged; bytes %u to %u were to be replaced", start, end);
        return verdict;
    }
    // Look for the one replacement of [x, y) by the result that explains the
    // new text, closest to the intended start.
    const size_t r = result.size();
    if (before.size() + r >= after.size()) {
        const size_t removed = before.size() + r - after.size();
        size_t prefix = 0;
        while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
        bool found = false;
        size_t bestX = 0;
        for (size_t x = 0; x <= prefix && x + removed <= before.size(); ++x) {
            if (after.compare(x, r, result) != 0) continue;
            if (after.compare(x + r, std::string::npos, before, x + removed, std::string::npos) != 0) continue;
            size_t distance = x > start ? x - start : start - x;
            size_t bestDistance = bestX > start ? bestX - start : start - bestX;
            if (!found || distance < bestDistance) bestX = x;
            found = true;
        }
        if (found) {
            const uint32_t x = static_cast<uint32_t>(bestX), y = static_cast<uint32_t>(bestX + removed);
            verdict.replacedStart = x;
            verdict.replacedEnd = y;
            verdict.lostBefore = x < start ? (y < start ? y : start) - x : 0;
            verdict.lostAfter = y > end ? y - (x > end ? x : end) : 0;
            uint32_t overlapStart = x > start ? x : start, overlapEnd = y < end ? y : end;
            uint32_t overlap = overlapEnd > overlapStart ? overlapEnd - overlapStart : 0;
            verdict.keptInside = length - overlap;
            if (removed == 0) {
                verdict.outcome = TextOutcome::Inserted;
                verdict.description = Printf("result inserted at byte %u, nothing replaced; the %u bytes meant to "
                                             "be replaced (%u to %u) are still there",
                                             x, length, start, end);
            } else {
                verdict.outcome = TextOutcome::WrongRange;
                verdict.description = Printf("bytes %u to %u replaced instead of %u to %u", x, y, start, end);
                if (verdict.lostBefore || verdict.lostAfter)
                    verdict.description += Printf("; %u bytes before and %u bytes after the intended range lost",
                                                  verdict.lostBefore, verdict.lostAfter);
                if (verdict.keptInside)
                    verdict.description += Printf("; %u bytes of the intended range kept", verdict.keptInside);
            }
            return verdict;
        }
    }
    size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    verdict.outcome = TextOutcome::Garbled;
    verdict.description = Printf("old bytes %u to %u became %u other bytes; no replacement by the result explains it",
                                 unsigned(prefix), unsigned(before.size() - suffix),
                                 unsigned(after.size() - suffix - prefix));
    return verdict;
}

bool TextHoldsAt(const std::string& text, const std::string& piece, uint32_t at) {
    if (at > text.size() || text.compare(at, piece.size(), piece) != 0) return false;
    return IsCellBoundary(SplitSjis(text.substr(0, at + piece.size())), at);
}

}  // namespace imeside
