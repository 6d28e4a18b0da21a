// The record builder fed by a text source that hands back anything: any
// result, strings with or without a terminator, any bytes. Each input runs a
// size query, the same fill into an ANSI and a UTF-16 record, and a
// confirmation with arbitrary record fields.
//
// Input: the code-page choice (see fuzz_support.h); a flags byte (bit 0: a
// reconversion rather than a document feed; bit 1: the source writes no
// terminator but fills the whole buffer); the caret offset left from an
// earlier fill (a byte); the source's result (4 bytes); dwCompStrOffset and
// dwCompStrLen of the confirmation (4 bytes each); then the source's string.
#include <string.h>

#include <vector>

#include "common/scripted_source.h"
#include "fuzz_support.h"
#include "module/ansi_text.h"
#include "module/dbcs_text.h"
#include "module/state.h"
#include "reconvert/confirm_range.h"
#include "reconvert/record_builder.h"
#include "rodavozi.h"
#include "support/fake_platform.h"

namespace {

// The builder writes at most 104 bytes; the rest of the 160 it asks the IME
// for must come back as the IME left it.
const size_t kWrittenAtMost = 104;
const uint8_t kGuard = 0xA5;
const size_t kSourceBuffer = SOURCE_BUFFER_SIZE;  // the builder's text buffer

struct Record {
    uint8_t bytes[RECORD_SIZE];
    uint8_t before[RECORD_SIZE];
    RECONVERTHEADER* header() { return reinterpret_cast<RECONVERTHEADER*>(bytes); }
    explicit Record(uint8_t fill) {
        memset(bytes, fill, sizeof bytes);
        memset(bytes + kWrittenAtMost, kGuard, RECORD_SIZE - kWrittenAtMost);
        memcpy(before, bytes, sizeof bytes);
    }
};

enum Outcome { REFUSED, SELECTION, CARET };

struct Fill {
    int answer;
    Outcome outcome;
    int lastOffset;  // LastReconvertOffset afterwards
    bool feed;       // a document feed: it leaves LastReconvertOffset alone
};

// One fill, with the checks that hold for either encoding.
Fill RunFill(Record& record, int kind, int unicode, int lastOffsetBefore) {
    g_source.getTextCalls = g_source.confirmCalls = g_source.strayCalls = 0;
    ProcessState.LastReconvertOffset = lastOffsetBefore;
    ClearTraces();
    Fill fill;
    fill.answer = BuildReconvertString(nullptr, kind, record.bytes, unicode, ScriptedTextSource);
    fill.lastOffset = ProcessState.LastReconvertOffset;
    fill.feed = kind == REQUEST_DOCUMENT_FEED;
    FUZZ_CHECK(!fill.feed || fill.lastOffset == lastOffsetBefore, "a document feed moved LastReconvertOffset");
    RECONVERTHEADER* h = record.header();

    FUZZ_CHECK(fill.answer == 0 || fill.answer == RECORD_SIZE, "fill answers %d", fill.answer);
    FUZZ_CHECK(g_source.getTextCalls == 1 && g_source.confirmCalls == 0 && g_source.strayCalls == 0,
               "source asked %d/%d/%d times", g_source.getTextCalls, g_source.confirmCalls,
               g_source.strayCalls);
    FUZZ_CHECK(memcmp(record.bytes + kWrittenAtMost, record.before + kWrittenAtMost,
                      RECORD_SIZE - kWrittenAtMost) == 0,
               "written past byte %zu of the record", kWrittenAtMost);
    FUZZ_CHECK(h->dwSize == RECORD_SIZE && h->dwStrOffset == RECORD_STRING_OFFSET,
               "dwSize %u dwStrOffset %u", h->dwSize, h->dwStrOffset);
    FUZZ_CHECK(memcmp(&h->dwVersion, record.before + 4, 4) == 0, "dwVersion changed");

    bool stringUntouched = memcmp(record.bytes + RECORD_STRING_OFFSET, record.before + RECORD_STRING_OFFSET,
                                  RECORD_SIZE - RECORD_STRING_OFFSET) == 0;
    if (h->dwStrLen == 2 && h->dwCompStrLen == 0 && h->dwCompStrOffset == 0 && h->dwTargetStrLen == 0 &&
        h->dwTargetStrOffset == 0 && stringUntouched) {
        fill.outcome = REFUSED;
        FUZZ_CHECK(fill.answer == 0, "a record left as preset answers %d", fill.answer);
        return fill;
    }
    // A selection offered is never empty; a caret run has no composition.
    fill.outcome = h->dwCompStrLen != 0 ? SELECTION : CARET;
    FUZZ_CHECK((fill.outcome == SELECTION) == (g_source.result == -1), "%s offered for a result of %d",
               fill.outcome == SELECTION ? "a selection" : "a caret run", g_source.result);
    if (fill.outcome == SELECTION) {
        FUZZ_CHECK(h->dwCompStrOffset == 0 && h->dwTargetStrOffset == 0, "selection offsets %u %u",
                   h->dwCompStrOffset, h->dwTargetStrOffset);
        FUZZ_CHECK(h->dwTargetStrLen == h->dwCompStrLen, "target length %u, composition %u",
                   h->dwTargetStrLen, h->dwCompStrLen);
        FUZZ_CHECK(fill.feed || fill.lastOffset == 0, "LastReconvertOffset %d after a selection", fill.lastOffset);
    } else {
        FUZZ_CHECK(h->dwCompStrLen == 0 && h->dwTargetStrLen == 0, "caret lengths %u %u", h->dwCompStrLen,
                   h->dwTargetStrLen);
        FUZZ_CHECK(h->dwTargetStrOffset == h->dwCompStrOffset, "target offset %u, composition %u",
                   h->dwTargetStrOffset, h->dwCompStrOffset);
        FUZZ_CHECK(fill.feed || static_cast<int>(h->dwCompStrOffset) == fill.lastOffset,
                   "offset %u but LastReconvertOffset %d", h->dwCompStrOffset, fill.lastOffset);
        FUZZ_CHECK(h->dwCompStrOffset % 2 == 0 && h->dwCompStrOffset <= 40, "caret offset %u",
                   h->dwCompStrOffset);
    }
    return fill;
}

// The string of an ANSI record: whole double-byte characters, within 70
// bytes, terminated, dwStrLen its length.
const char* CheckAnsiString(Record& record, Outcome outcome) {
    RECONVERTHEADER* h = record.header();
    const char* s = reinterpret_cast<const char*>(record.bytes + RECORD_STRING_OFFSET);
    size_t length = strnlen(s, kWrittenAtMost - RECORD_STRING_OFFSET);
    FUZZ_CHECK(length < kWrittenAtMost - RECORD_STRING_OFFSET, "string not terminated within the record");
    FUZZ_CHECK(h->dwStrLen == length, "dwStrLen %u for a string of %zu bytes", h->dwStrLen, length);
    FUZZ_CHECK(length % 2 == 0 && length <= (outcome == SELECTION ? 40u : 70u), "string of %zu bytes",
               length);
    for (size_t i = 0; i < length; i += 2)
        FUZZ_CHECK(IsValidPair(reinterpret_cast<const uint8_t*>(s) + i), "bytes %zu,%zu are no character",
                   i, i + 1);
    if (outcome == SELECTION) {
        FUZZ_CHECK(h->dwCompStrLen == length, "composition length %u for %zu bytes", h->dwCompStrLen, length);
    } else {
        FUZZ_CHECK(h->dwCompStrOffset <= length, "caret offset %u beyond the string's %zu bytes",
                   h->dwCompStrOffset, length);
        FUZZ_CHECK(length - h->dwCompStrOffset <= 30, "%zu bytes after the caret",
                   length - h->dwCompStrOffset);
    }
    return s;
}

// The string of a UTF-16 record against the ANSI record of the same fill.
void CheckWideString(Record& wide, const Fill& w, Record& ansi, const Fill& a, const char* ansiString,
                     bool madeUpPage) {
    RECONVERTHEADER* hw = wide.header();
    RECONVERTHEADER* ha = ansi.header();
    FUZZ_CHECK(w.outcome == a.outcome && w.answer == a.answer && w.lastOffset == a.lastOffset,
               "UTF-16 fill (%d, %d, %d) differs from ANSI (%d, %d, %d)", w.outcome, w.answer, w.lastOffset,
               a.outcome, a.answer, a.lastOffset);
    if (w.outcome == REFUSED) return;
    FUZZ_CHECK(hw->dwCompStrOffset == ha->dwCompStrOffset && hw->dwTargetStrOffset == ha->dwTargetStrOffset,
               "byte offsets differ between the encodings");
    FUZZ_CHECK(hw->dwCompStrLen == ha->dwCompStrLen / 2 && hw->dwTargetStrLen == ha->dwTargetStrLen / 2,
               "UTF-16 lengths %u %u for ANSI %u %u", hw->dwCompStrLen, hw->dwTargetStrLen, ha->dwCompStrLen,
               ha->dwTargetStrLen);
    uint32_t units = hw->dwStrLen;
    FUZZ_CHECK(RECORD_STRING_OFFSET + 2 * (units + 1) <= kWrittenAtMost, "%u units do not fit", units);
    const uint8_t* s = wide.bytes + RECORD_STRING_OFFSET;
    uint16_t record[kSourceBuffer] = {};
    for (uint32_t i = 0; i <= units; ++i) {
        record[i] = static_cast<uint16_t>(s[2 * i] | s[2 * i + 1] << 8);
        FUZZ_CHECK((i == units) == (record[i] == 0), "unit %u is %04X (%u units)", i, record[i], units);
    }
    uint16_t converted[kSourceBuffer];
    if (madeUpPage) {
        // The conversion used for made-up pages knows nothing of their
        // characters: all the record can hold is what that conversion gave.
        AnsiToUtf16(ansiString, converted, kSourceBuffer);
        FUZZ_CHECK(memcmp(record, converted, 2 * units) == 0, "the units are not the conversion's");
        return;
    }
    // A real code page, read one character at a time rather than as the
    // whole string: each double-byte character is one unit, and one the
    // conversion cannot map ends the string.
    FUZZ_CHECK(units <= ha->dwStrLen / 2, "%u units for %u ANSI bytes", units, ha->dwStrLen);
    for (uint32_t i = 0; i <= units && 2 * i < ha->dwStrLen; ++i) {
        const char character[3] = {ansiString[2 * i], ansiString[2 * i + 1], 0};
        AnsiToUtf16(character, converted, kSourceBuffer);
        if (i == units) FUZZ_CHECK(converted[0] == 0, "the string ends at unit %u before a character that converts", i);
        else FUZZ_CHECK(record[i] == converted[0] && converted[1] == 0, "unit %u is %04X, its character gives %04X", i,
                        record[i], converted[0]);
    }
}

// What the source handed back, and whether it kept its contract.
struct SourceOutput {
    bool terminated;
    size_t length;
    const uint8_t* text;
    bool lineBreak;
};

SourceOutput ReadSourceOutput() {
    SourceOutput out;
    out.text = reinterpret_cast<const uint8_t*>(g_source.handed.data());
    const void* zero = memchr(out.text, 0, kSourceBuffer);
    out.terminated = zero != nullptr;
    out.length = out.terminated ? static_cast<const uint8_t*>(zero) - out.text : kSourceBuffer;
    out.lineBreak = memchr(out.text, '\r', out.length) != nullptr || memchr(out.text, '\n', out.length) != nullptr;
    return out;
}

// The selection offered is the source's selection cut to 40 bytes, or
// nothing when that is not made of double-byte characters alone.
void CheckSelection(const Fill& fill, const char* offered, const SourceOutput& src, int lastOffsetBefore) {
    if (!src.terminated) return;  // off contract: anything well-formed will do
    if (src.length == 0 || src.lineBreak) {
        FUZZ_CHECK(fill.outcome == REFUSED && fill.lastOffset == lastOffsetBefore,
                   "empty or multi-line selection not refused untouched");
        return;
    }
    FUZZ_CHECK(fill.feed || fill.lastOffset == 0, "LastReconvertOffset %d after a selection", fill.lastOffset);
    // The cut: the whole string when it fits in 40 bytes; otherwise 40 bytes,
    // or 39 when a character straddles byte 40 (the same when exactly 40
    // bytes end in a lead byte that begins a character).
    std::vector<bool> starts = CharacterStarts(src.text, src.length);
    size_t cut = src.length < 40 ? src.length : 40;
    if (src.length >= 40 && LeadStartsAt(starts, src.text, 39)) cut = 39;
    bool wholePairs = cut % 2 == 0;
    for (size_t i = 0; wholePairs && i < cut; i += 2) wholePairs = IsValidPair(src.text + i);
    if (!wholePairs) {
        FUZZ_CHECK(fill.outcome == REFUSED, "selection with a single-byte character offered");
        return;
    }
    FUZZ_CHECK(fill.outcome == SELECTION, "a selection of %zu double-byte bytes refused", cut);
    FUZZ_CHECK(strlen(offered) == cut && memcmp(offered, src.text, cut) == 0,
               "offered selection is not the source's cut to %zu bytes", cut);
}

// The run offered around a caret: a piece of the source's string that holds
// the caret, pairs only, whole characters before the caret when the text is
// read from its start, at most 20 characters before and 15 after it, and as
// long as those rules allow.
void CheckCaretRun(const Fill& fill, const RECONVERTHEADER* h, const char* offered, const SourceOutput& src,
                   int lastOffsetBefore, bool lowLeadBytes) {
    int caret = g_source.result;
    size_t offset = h->dwCompStrOffset, length = strlen(offered);
    if (fill.outcome == CARET) {
        // Whatever the source said, the run comes from inside its text and
        // holds the caret.
        FUZZ_CHECK(caret >= 0 && static_cast<size_t>(caret) <= src.length, "run offered for caret %d in %zu bytes",
                   caret, src.length);
        size_t start = static_cast<size_t>(caret) - offset;
        FUZZ_CHECK(offset <= static_cast<size_t>(caret) && start + length <= src.length &&
                       memcmp(src.text + start, offered, length) == 0,
                   "run [%zu, %zu) is not the source's text there (caret %d)", start, start + length, caret);
    }
    bool contract = src.terminated && caret >= 0 && static_cast<size_t>(caret) <= src.length;
    if (!contract) return;
    if (src.length == 0 || src.lineBreak) {
        FUZZ_CHECK(fill.outcome == REFUSED && fill.lastOffset == lastOffsetBefore,
                   "empty or multi-line caret text not refused untouched");
        return;
    }
    FUZZ_CHECK(fill.outcome == CARET, "caret text refused (caret %d, %zu bytes)", caret, src.length);
    size_t c = static_cast<size_t>(caret), start = c - offset, end = start + length;
    if (end - c < 30) FUZZ_CHECK(!IsValidPair(src.text + end), "run stops at %zu before a character", end);
    if (lowLeadBytes) return;  // "read from the start" is not what LastCharWidth answers there
    std::vector<bool> starts = CharacterStarts(src.text, src.length);
    for (size_t i = start; i < c; i += 2)
        FUZZ_CHECK(starts[i], "run takes bytes %zu,%zu before the caret that are no character", i, i + 1);
    if (offset < 40 && start >= 2)
        FUZZ_CHECK(!(LeadStartsAt(starts, src.text, start - 2) && IsTrailByte(src.text[start - 1])),
                   "run stops at %zu after a character", start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    CodePageChoice page = ChooseCodePage(in);
    uint8_t flags = in.Byte();
    int kind = flags & 1 ? REQUEST_RECONVERT : REQUEST_DOCUMENT_FEED;
    int lastOffsetBefore = in.Byte() % 72;
    g_source.result = static_cast<int>(in.U32());
    uint32_t compOffset = in.U32(), compLength = in.U32();
    g_source.terminate = (flags & 2) == 0;
    g_source.text.assign(reinterpret_cast<const char*>(in.Rest()), in.Remaining());

    // Size queries and a confirmation without a record never reach the source.
    g_source.getTextCalls = g_source.confirmCalls = g_source.strayCalls = 0;
    for (int unicode = 0; unicode < 2; ++unicode) {
        FUZZ_CHECK(BuildReconvertString(nullptr, kind, nullptr, unicode, ScriptedTextSource) == RECORD_SIZE,
                   "size query not answered with 160");
        FUZZ_CHECK(BuildReconvertString(nullptr, REQUEST_CONFIRM, nullptr, unicode, ScriptedTextSource) == 0,
                   "confirmation without a record not answered with 0");
    }
    FUZZ_CHECK(g_source.getTextCalls + g_source.confirmCalls + g_source.strayCalls == 0,
               "source called without a record");

    Record ansi(0xCC), wide(0xCC);
    Fill a = RunFill(ansi, kind, 0, lastOffsetBefore);
    SourceOutput src = ReadSourceOutput();
    const char* offered = a.outcome == REFUSED ? "" : CheckAnsiString(ansi, a.outcome);
    if (a.outcome != REFUSED)
        FUZZ_CHECK(a.answer == (kind == REQUEST_RECONVERT && offered[0] == 0 ? 0 : RECORD_SIZE),
                   "answer %d for a string of %zu bytes", a.answer, strlen(offered));
    if (g_source.result == -1) CheckSelection(a, offered, src, lastOffsetBefore);
    else CheckCaretRun(a, ansi.header(), offered, src, lastOffsetBefore, page.lowLeadBytes);

    Fill w = RunFill(wide, kind, 1, lastOffsetBefore);
    CheckWideString(wide, w, ansi, a, offered, page.madeUp);

    // The confirmation, after the UTF-16 fill, with whatever the IME put into
    // the record; once per encoding, from the same caret offset.
    int caretOffset = ProcessState.LastReconvertOffset;
    for (int unicode = 0; unicode < 2; ++unicode) {
        Record confirm(0x5C);
        confirm.header()->dwCompStrOffset = compOffset;
        confirm.header()->dwCompStrLen = compLength;
        memcpy(confirm.before, confirm.bytes, RECORD_SIZE);
        ProcessState.LastReconvertOffset = caretOffset;
        g_source.getTextCalls = g_source.confirmCalls = g_source.strayCalls = 0;
        int answer = BuildReconvertString(nullptr, REQUEST_CONFIRM, confirm.bytes, unicode, ScriptedTextSource);
        FUZZ_CHECK(answer == 1, "confirmation answers %d", answer);
        FUZZ_CHECK(g_source.confirmCalls == 1 && g_source.getTextCalls == 0 && g_source.strayCalls == 0,
                   "source asked %d/%d/%d times for a confirmation", g_source.getTextCalls,
                   g_source.confirmCalls, g_source.strayCalls);
        FUZZ_CHECK(memcmp(confirm.bytes, confirm.before, RECORD_SIZE) == 0, "the confirmation wrote the record");
        FUZZ_CHECK(ProcessState.LastReconvertOffset == caretOffset, "the confirmation changed the caret offset");
        // The range is the packing's, whose rules confirm_range_fuzzer checks.
        FUZZ_CHECK(g_source.lastRange == PackConfirmRange(caretOffset, compOffset, compLength, unicode),
                   "range %08X for a composition at %u of %u, caret %d", g_source.lastRange, compOffset, compLength,
                   caretOffset);
    }
    // The same fill into a record one byte short of it (no room for the
    // terminator): refused, and nothing written.
    if (a.outcome != REFUSED) {
        Record tight(0xCC);
        const uint32_t room = RECORD_STRING_OFFSET + static_cast<uint32_t>(strlen(offered));
        tight.header()->dwSize = room;
        memcpy(tight.before, tight.bytes, RECORD_SIZE);
        int answer = BuildReconvertString(nullptr, kind, tight.bytes, 0, ScriptedTextSource);
        FUZZ_CHECK(answer == 0 && memcmp(tight.bytes, tight.before, RECORD_SIZE) == 0,
                   "a record of %u bytes answered %d, or written", room, answer);
    }
    ClearTraces();
    return 0;
}
