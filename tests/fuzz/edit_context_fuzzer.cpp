// The edit-control text source's computations on arbitrary window texts and
// arbitrary selections as a control might report them (past the text, inside
// a character, start after end): the caret context and the selected text;
// and the caret context handed on to the record builder, as the real text
// source does.
//
// Input: the code-page choice (see fuzz_support.h), the EM_GETSEL result
// (4 bytes: start in bits 15..0, end in bits 31..16), 4 bytes not read (they
// keep the committed inputs' layout), then the window text (zero bytes end it early, as
// they would for GetWindowTextA).
#include <string.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "module/state.h"
#include "reconvert/edit_context.h"
#include "reconvert/record_builder.h"
#include "rodavozi.h"
#include "support/fake_platform.h"

namespace {

size_t BoundaryAtOrBefore(const std::vector<bool>& b, size_t offset) {
    while (!b[offset]) --offset;
    return offset;
}

// An output buffer of exactly the size the text source promises its caller,
// so that ASan sees any write beyond it.
struct Out {
    std::unique_ptr<char[]> bytes{new char[EDIT_CONTEXT_OUT_SIZE]};
    Out() { memset(bytes.get(), 0x7B, EDIT_CONTEXT_OUT_SIZE); }
    size_t Terminated(const char* what) const {
        size_t n = strnlen(bytes.get(), EDIT_CONTEXT_OUT_SIZE);
        FUZZ_CHECK(n < EDIT_CONTEXT_OUT_SIZE, "%s not terminated within %d bytes", what, EDIT_CONTEXT_OUT_SIZE);
        return n;
    }
};

void CheckCaretContext(const uint8_t* t, size_t length, const std::vector<bool>& b, unsigned int reported,
                       bool lowLeadBytes) {
    Out out;
    CARETCONTEXT context =
        CaretContext(reinterpret_cast<const char*>(t), static_cast<int>(length), reported, out.bytes.get());
    size_t n = out.Terminated("caret context");
    FUZZ_CHECK(context.Result >= 0 && context.Result <= CONTEXT_REACH, "result %d for caret %u", context.Result,
               reported);
    FUZZ_CHECK(context.Result == context.Caret - context.Start, "result %d, caret %d, start %d", context.Result,
               context.Caret, context.Start);
    FUZZ_CHECK(static_cast<size_t>(context.Result) <= n, "caret offset %d beyond the context's %zu bytes",
               context.Result, n);
    FUZZ_CHECK(n <= 2 * CONTEXT_REACH + 1, "context of %zu bytes", n);

    // The caret used is the reported one, moved back onto the text and onto
    // a character's start.
    size_t c = static_cast<size_t>(context.Caret), start = static_cast<size_t>(context.Start);
    size_t expectedCaret = BoundaryAtOrBefore(b, reported > length ? length : reported);
    FUZZ_CHECK(c == expectedCaret, "caret %u taken as %zu, not %zu", reported, c, expectedCaret);
    FUZZ_CHECK(start <= c && start + n <= length && memcmp(t + start, out.bytes.get(), n) == 0,
               "context is not the text at %zu", start);
    FUZZ_CHECK(memchr(out.bytes.get(), '\r', n) == nullptr && memchr(out.bytes.get(), '\n', n) == nullptr,
               "line break in the context");
    if (lowLeadBytes) return;

    // Before the caret: whole characters from a boundary at most 15 bytes
    // back, no full-width space, and it stops early only after a line break
    // or a full-width space.
    FUZZ_CHECK(b[start] && c - start <= CONTEXT_REACH, "context starts at %zu for caret %zu", start, c);
    for (size_t i = start; i < c; ++i)
        FUZZ_CHECK(!(b[i] && IsLeadByte(t[i]) && t[i] == 0x81 && t[i + 1] == 0x40),
                   "full-width space at %zu inside the context", i);
    size_t limit = c <= CONTEXT_REACH ? 0 : c - CONTEXT_REACH;
    while (!b[limit]) ++limit;
    if (start > limit) {
        bool afterBreak = t[start - 1] == '\r' || t[start - 1] == '\n';
        bool afterSpace = start >= 2 && b[start - 2] && t[start - 2] == 0x81 && t[start - 1] == 0x40;
        FUZZ_CHECK(afterBreak || afterSpace, "context starts at %zu, could start at %zu", start, limit);
    }
    // After the caret: the longest run of whole characters without a control
    // byte (be it the second byte of a character) that ends at most 15 bytes
    // on, or 16 with a two-byte character at 14.
    size_t end = c;
    for (size_t x = c + 1; x <= length && x <= c + CONTEXT_REACH + 1 && t[x - 1] >= 0x20; ++x)
        if (b[x] && (x - c <= CONTEXT_REACH || (b[x - 2] && !b[x - 1]))) end = x;
    FUZZ_CHECK(start + n == end, "context ends at %zu, not at %zu", start + n, end);
}

void CheckSelectedText(const uint8_t* t, size_t length, const std::vector<bool>& b, unsigned int s, unsigned int e,
                       bool lowLeadBytes) {
    Out out;
    SelectedText(reinterpret_cast<const char*>(t), static_cast<int>(length), s, e, out.bytes.get());
    size_t n = out.Terminated("selection");
    FUZZ_CHECK(n <= SELECTION_HANDED_BACK, "selection of %zu bytes", n);
    unsigned int lo = s < e ? s : e, hi = s < e ? e : s;
    size_t a = BoundaryAtOrBefore(b, lo > length ? length : lo);
    size_t z = BoundaryAtOrBefore(b, hi > length ? length : hi);
    FUZZ_CHECK(a + n <= z && memcmp(t + a, out.bytes.get(), n) == 0, "selection is not the text at %zu", a);
    if (lowLeadBytes) return;
    FUZZ_CHECK(b[a + n], "selection ends inside a character at %zu", a + n);
    // Cut short only by a lead byte at 63 (a lone one at the text's end too:
    // the cut cannot see that nothing follows it).
    if (a + n < z)
        FUZZ_CHECK(n == SELECTION_HANDED_BACK || (n == SELECTION_HANDED_BACK - 1 && IsLeadByte(t[a + n])),
                   "selection of %zu bytes cut to %zu", z - a, n);
}

// The context handed to the builder as a text source would: the builder must
// find it within its contract and offer a run from inside it.
const char* g_context;
int g_result;
int CALLBACK ContextSource(HWND, int request, UINT, char* buffer) {
    if (request != TSR_GETTEXT) return 0;
    strcpy(buffer, g_context);
    return g_result;
}

void CheckBuilderTakesContext(const uint8_t* t, size_t length, unsigned int caret) {
    Out out;
    CARETCONTEXT context =
        CaretContext(reinterpret_cast<const char*>(t), static_cast<int>(length), caret, out.bytes.get());
    g_context = out.bytes.get();
    g_result = context.Result;
    uint8_t record[RECORD_SIZE];
    memset(record, 0xCC, sizeof record);
    ProcessState.LastReconvertOffset = 99;
    int answer = BuildReconvertString(nullptr, REQUEST_DOCUMENT_FEED, record, 0, ContextSource);
    const RECONVERTHEADER* h = reinterpret_cast<const RECONVERTHEADER*>(record);
    size_t n = strlen(g_context);
    if (n == 0) return;  // refused: nothing to offer
    FUZZ_CHECK(answer == RECORD_SIZE, "document feed of a %zu-byte context answers %d", n, answer);
    // A document feed leaves what a confirmation measures from alone.
    FUZZ_CHECK(ProcessState.LastReconvertOffset == 99 && h->dwCompStrOffset <= static_cast<uint32_t>(context.Result),
               "run offset %u for a context caret at %d", h->dwCompStrOffset, context.Result);
    const char* run = reinterpret_cast<const char*>(record + RECORD_STRING_OFFSET);
    size_t from = static_cast<size_t>(context.Result) - h->dwCompStrOffset;
    FUZZ_CHECK(from + h->dwStrLen <= n && memcmp(g_context + from, run, h->dwStrLen) == 0,
               "run is not the context's text at %zu", from);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    CodePageChoice page = ChooseCodePage(in);
    uint32_t selection = in.U32();
    in.U32();
    size_t raw = in.Remaining();
    if (raw >= WINDOW_TEXT_LIMIT) raw = WINDOW_TEXT_LIMIT - 1;
    // The window text as GetWindowTextA leaves it: terminated, in a buffer of
    // exactly that size, so that ASan sees any read past the terminator.
    std::unique_ptr<uint8_t[]> text(new uint8_t[raw + 1]);
    memcpy(text.get(), in.Rest(), raw);
    text[raw] = 0;
    size_t length = strlen(reinterpret_cast<char*>(text.get()));
    // Character starts as the text source reads a window text: a lead byte
    // right before the terminator is a character of its own.
    std::vector<bool> b = CharacterStarts(text.get(), length, IsLeadByte, true);

    unsigned int start = SelectionStart(selection), end = SelectionEnd(selection);
    CheckCaretContext(text.get(), length, b, start, page.lowLeadBytes);
    CheckCaretContext(text.get(), length, b, end, page.lowLeadBytes);
    if (start != end) CheckSelectedText(text.get(), length, b, start, end, page.lowLeadBytes);
    CheckBuilderTakesContext(text.get(), length, start);
    ClearTraces();
    return 0;
}
