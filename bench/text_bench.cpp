// Nanoseconds per call of the double-byte text work that a request costs:
// LastCharWidth, TruncateDbcs, the caret run of the record builder and the
// caret context of the edit-control text source, on Shift-JIS text of up to
// 64 KiB (the most an edit control hands over is 65,534 bytes); and the
// module's whole own work in one fill, on the texts the Wine benchmark
// gives its editor, and on texts of any length read through the line
// messages.
#include <benchmark/benchmark.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "reconvert/edit_context.h"
#include "reconvert/line_part.h"
#include "reconvert/offered_run.h"
#include "reconvert/record_builder.h"
#include "reconvert/text_source.h"
#include "reconvert/wide_text.h"
#include "module/ansi_text.h"
#include "request_text.h"

namespace {

const size_t kEditTextBytes = 65534;

// Deterministic pseudo-random numbers, so every run measures the same text.
struct Lcg {
    uint32_t state = 12345;
    uint32_t Next() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    }
};

void Pair(std::string& s, int lead, int trail) {
    s += static_cast<char>(lead);
    s += static_cast<char>(trail);
}

// Japanese prose as an edit control holds it: mostly hiragana and kanji, some
// katakana and punctuation, a little ASCII and half-width katakana, and a line
// break every few dozen characters. Trail bytes below 0x80 (katakana,
// punctuation, many kanji) are common, as in real text.
std::string TypicalText(size_t bytes) {
    Lcg r;
    std::string s;
    int column = 0;
    while (s.size() + 2 < bytes) {
        uint32_t kind = r.Next() % 100;
        if (kind < 44) {
            Pair(s, 0x82, 0x9F + static_cast<int>(r.Next() % 83));  // hiragana
        } else if (kind < 72) {
            int trail = 0x40 + static_cast<int>(r.Next() % 188);  // kanji
            if (trail >= 0x7F) ++trail;
            Pair(s, 0x88 + static_cast<int>(r.Next() % 24), trail);
        } else if (kind < 82) {
            int trail = 0x40 + static_cast<int>(r.Next() % 86);  // katakana
            if (trail >= 0x7F) ++trail;
            Pair(s, 0x83, trail);
        } else if (kind < 90) {
            Pair(s, 0x81, r.Next() % 2 ? 0x41 : 0x42);  // 、 。
        } else if (kind < 97) {
            s += static_cast<char>('a' + r.Next() % 26);
        } else {
            s += static_cast<char>(0xA6 + r.Next() % 58);  // half-width katakana
        }
        if (++column > 40 && r.Next() % 8 == 0) {
            s += "\r\n";
            column = 0;
        }
    }
    s.resize(bytes, 'a');
    return s;
}

// Kanji whose two bytes both lie above 0x80: LastCharWidth finds no short cut
// anywhere and has to read from the start.
std::string AllHighText(size_t bytes) {
    std::string s;
    while (s.size() + 2 <= bytes) Pair(s, 0x88, 0x9F);
    s.resize(bytes, 'a');
    return s;
}

void UseShiftJis() { FillByteClassTable(932, nullptr); }

// LastCharWidth at the end of 64 KiB of two-byte characters with no byte at
// or below 0x80: the whole text is read.
void LastCharWidth_Worst64K(benchmark::State& state) {
    UseShiftJis();
    std::string text = AllHighText(kEditTextBytes);
    int n = static_cast<int>(text.size()) - 1;
    for (auto _ : state) benchmark::DoNotOptimize(LastCharWidth(text.data(), n));
}

// LastCharWidth at 256 positions spread evenly over 64 KiB of typical text,
// one in each 256-byte stretch (256 calls per iteration).
void LastCharWidth_Typical64K(benchmark::State& state) {
    UseShiftJis();
    std::string text = TypicalText(kEditTextBytes);
    std::vector<int> positions;
    Lcg r;
    size_t stretch = text.size() / 256;
    for (size_t i = 0; i < 256; ++i) positions.push_back(static_cast<int>(1 + i * stretch + r.Next() % stretch));
    for (auto _ : state) {
        for (int n : positions) benchmark::DoNotOptimize(LastCharWidth(text.data(), n));
    }
}

// The calls the builder makes walking back from a caret near the end of a
// 255-byte context: 20 steps, two bytes at a time (20 calls per iteration).
void LastCharWidth_BuilderWalk(benchmark::State& state) {
    UseShiftJis();
    std::string text = TypicalText(255);
    for (auto _ : state) {
        for (int n = 253; n > 253 - 40; n -= 2) benchmark::DoNotOptimize(LastCharWidth(text.data(), n));
    }
}

// TruncateDbcs with limit n on a long string (only the first n bytes count).
void TruncateDbcs_Long(benchmark::State& state) {
    UseShiftJis();
    int n = static_cast<int>(state.range(0));
    std::string text = TypicalText(4096);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = 'x';
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back(0);
    for (auto _ : state) {
        TruncateDbcs(buffer.data(), n);
        benchmark::ClobberMemory();
        buffer[n - 1] = text[n - 1];  // undo the cut for the next round
        buffer[n] = text[n];
    }
}

// The builder's run around a caret in a 255-byte context of two-byte
// characters: 20 characters back (each step a LastCharWidth) and 15 on.
void CaretRun_255(benchmark::State& state) {
    UseShiftJis();
    std::string text;
    while (text.size() + 2 <= 254) Pair(text, 0x82, 0xA0 + static_cast<int>(text.size() / 2 % 80));
    char out[SOURCE_BUFFER_SIZE];
    int caret = 200;
    for (auto _ : state) benchmark::DoNotOptimize(CaretRun(text.c_str(), caret, out));
}

// The edit-control text source's context for a caret near the end of a
// 65,534-byte text: the character boundaries before the caret are found by
// reading from the start.
void CaretContext_64K(benchmark::State& state) {
    UseShiftJis();
    std::string text = TypicalText(kEditTextBytes);
    unsigned int caret = static_cast<unsigned int>(text.size() - state.range(0));
    char out[EDIT_CONTEXT_OUT_SIZE];
    for (auto _ : state) benchmark::DoNotOptimize(CaretContext(text.c_str(), static_cast<int>(text.size()), caret, out));
}

// The selection handed back for a selection near the end of the same text.
void SelectedText_64K(benchmark::State& state) {
    UseShiftJis();
    std::string text = TypicalText(kEditTextBytes);
    unsigned int end = static_cast<unsigned int>(text.size() - 8);
    char out[EDIT_CONTEXT_OUT_SIZE];
    for (auto _ : state) {
        SelectedText(text.c_str(), static_cast<int>(text.size()), end - 100, end, out);
        benchmark::DoNotOptimize(out);
    }
}

// A text source that does the edit-control source's own work on a text it
// already holds: what a fill costs the module beyond the window messages
// (the password checks, the length, the selection and the text read).
const std::string* g_fillText;
int CALLBACK HeldTextSource(HWND, int request, UINT, char* buffer) {
    if (request != TSR_GETTEXT) return 0;
    const std::string& text = *g_fillText;
    const unsigned int caret = static_cast<unsigned int>(text.size() - REQUEST_CARET_FROM_END);
    return CaretContext(text.c_str(), static_cast<int>(text.size()), caret, buffer).Result;
}

// Times fills of an ANSI record from `source`, after one untimed fill that
// must offer a string.
void TimeCheckedFills(benchmark::State& state, TextSourceProc source) {
    alignas(8) unsigned char record[RECORD_SIZE] = {};  // dwSize 0: the size the module answers
    int answer = BuildReconvertString(nullptr, REQUEST_RECONVERT, record, 0, source);
    if (answer != RECORD_SIZE || reinterpret_cast<RECONVERTHEADER*>(record)->dwStrLen == 0) {
        state.SkipWithError("the fill offered nothing");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildReconvertString(nullptr, REQUEST_RECONVERT, record, 0, source));
        benchmark::ClobberMemory();
    }
}

// One fill of an ANSI record (WM_IME_REQUEST) with the caret
// REQUEST_CARET_FROM_END bytes before the end of a text of state.range(0)
// bytes: the record builder and the caret context together.
void Fill_Ansi(benchmark::State& state) {
    UseShiftJis();
    const std::string text = RequestText(static_cast<size_t>(state.range(0)));
    g_fillText = &text;
    TimeCheckedFills(state, HeldTextSource);
}

// The same for a Unicode window holding state.range(0) characters of the
// benchmark text in UTF-16, caret before "する。": the part of the text its
// work reaches converted, the caret context, the window positions noted for
// the confirmation, and the builder's UTF-16 record.
std::u16string g_wideText;
int CALLBACK HeldWideSource(HWND, int request, UINT, char* buffer) {
    if (request != TSR_GETTEXT) return 0;
    static unsigned char part[WIDE_PART_BYTES], pairBits[WIDE_PART_BITS];
    const unsigned int caret = static_cast<unsigned int>(g_wideText.size() - REQUEST_CARET_FROM_END / 2);
    WIDEPART p;
    ConvertWidePart(reinterpret_cast<const uint16_t*>(g_wideText.data()), static_cast<int>(g_wideText.size()), caret,
                    caret, part, pairBits, &p);
    CARETCONTEXT context = CaretContext(reinterpret_cast<char*>(part), p.Length, p.Start, buffer);
    int positions[EDIT_CONTEXT_OUT_SIZE];
    WindowPositions(reinterpret_cast<char*>(part), pairBits, context.Start, static_cast<int>(strlen(buffer)), positions);
    benchmark::DoNotOptimize(positions);
    return context.Result;
}

void Fill_Wide(benchmark::State& state) {
    UseShiftJis();
    const std::string ansi = RequestText(65534);
    uint16_t wide[65535];
    AnsiToUtf16(ansi.c_str(), wide, 65535);
    std::u16string all(reinterpret_cast<char16_t*>(wide));
    g_wideText = all.substr(all.size() - static_cast<size_t>(state.range(0)));
    alignas(8) unsigned char record[RECORD_SIZE] = {};
    HWND window = reinterpret_cast<HWND>(0x1234);
    int answer = BuildReconvertString(window, REQUEST_RECONVERT, record, 1, HeldWideSource);
    if (answer != RECORD_SIZE || reinterpret_cast<RECONVERTHEADER*>(record)->dwStrLen == 0) {
        state.SkipWithError("the fill offered nothing");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildReconvertString(window, REQUEST_RECONVERT, record, 1, HeldWideSource));
        benchmark::ClobberMemory();
    }
}

// A multi-line control answering the line messages from a text it holds,
// as a table look-up each and a copy of the line: what a fill of a text of
// any length costs the module beyond those messages (the part of the text
// about the caret read and checked, the caret context, the builder).
struct HeldLines {
    std::string text;
    std::vector<int64_t> starts;  // where each line begins, after its CR LF
    static HeldLines& Of(void* c) { return *static_cast<HeldLines*>(c); }
    static int64_t Count(void* c) { return static_cast<int64_t>(Of(c).starts.size()); }
    static int64_t FromChar(void* c, uint32_t pos) {
        const std::vector<int64_t>& s = Of(c).starts;
        return std::upper_bound(s.begin(), s.end(), static_cast<int64_t>(pos)) - s.begin() - 1;
    }
    static int64_t Index(void* c, int64_t line) { return Of(c).starts[static_cast<size_t>(line)]; }
    static int64_t LineEnd(void* c, int64_t line) {
        const HeldLines& h = Of(c);
        return line + 1 < Count(c) ? h.starts[static_cast<size_t>(line) + 1] - 2 : static_cast<int64_t>(h.text.size());
    }
    static int64_t Length(void* c, int64_t index) { return LineEnd(c, FromChar(c, uint32_t(index))) - index; }
    static int64_t Get(void* c, int64_t line, unsigned char* out, int room) {
        int64_t n = std::min<int64_t>(room, LineEnd(c, line) - Index(c, line));
        memcpy(out, Of(c).text.data() + Index(c, line), static_cast<size_t>(n));
        return n;
    }
} g_heldLines;

int CALLBACK HeldLinesSource(HWND, int request, UINT, char* buffer) {
    if (request != TSR_GETTEXT) return 0;
    static unsigned char part[65536];
    const LINECONTROL control = {&g_heldLines, HeldLines::Count, HeldLines::FromChar, HeldLines::Index,
                                 HeldLines::Length, HeldLines::Get};
    const uint32_t length = static_cast<uint32_t>(g_heldLines.text.size()), caret = length - REQUEST_CARET_FROM_END;
    LINEPART p;
    if (ReadLinePart(&control, length, caret, caret, 1, false, part, sizeof part - 2, &p) != PART_READ) return 0;
    return CaretContext(reinterpret_cast<char*>(part), p.Length, p.Start, buffer).Result;
}

void Fill_Lines(benchmark::State& state) {
    UseShiftJis();
    g_heldLines.text = RequestText(static_cast<size_t>(state.range(0)));
    g_heldLines.starts = {0};
    for (size_t at = 0; (at = g_heldLines.text.find("\r\n", at)) != std::string::npos; at += 2)
        g_heldLines.starts.push_back(static_cast<int64_t>(at) + 2);
    TimeCheckedFills(state, HeldLinesSource);
}

}  // namespace

BENCHMARK(Fill_Lines)->Arg(40)->Arg(1 << 20);
BENCHMARK(Fill_Ansi)->Arg(40)->Arg(4096)->Arg(65534);
BENCHMARK(Fill_Wide)->Arg(20)->Arg(30000);
BENCHMARK(LastCharWidth_Worst64K);
BENCHMARK(LastCharWidth_Typical64K);
BENCHMARK(LastCharWidth_BuilderWalk);
BENCHMARK(TruncateDbcs_Long)->Arg(40)->Arg(64);
BENCHMARK(CaretRun_255);
BENCHMARK(CaretContext_64K)->Arg(20);
BENCHMARK(SelectedText_64K);

BENCHMARK_MAIN();
