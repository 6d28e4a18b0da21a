// The two benchmarks that need a window system, run under Wine. Figures
// only: nothing passes or fails on a number.
//
//  hook      messages per second sent (SendMessageA, WM_USER) to an ordinary
//            window of this thread: with no hook, with the empty pass-through
//            hook of empty_hook.dll, and with RODAVOZI.DLL's hook. The ratio
//            is the time per message with ours over the time with the empty one.
//  reconv    one full reconversion (caret put back, size query, fill,
//            confirmation) in a "kvexedit" editor holding 65,534 bytes with
//            the caret near the end, against GetWindowTextA of the same text.
//            Measured twice: with the hook installed, where under Wine every
//            message to the editor pays the hook machinery's cost (the same
//            for an empty hook, see above), and with the hook removed once
//            the editor is subclassed, where the figures show the work of
//            the library itself. The ratio reported is the second.
//
// Each time is the median of several rounds, and each ratio the median of
// the rounds' ratios; in every round the compared cases run back to back, in
// turns, so that a slow patch of the machine falls on all of them.
//
// Usage: wine_bench [--rounds N] [--sample-ms MS]
// The last lines are "name=value" figures for scripts: ratio.hook,
// ratio.reconversion, ratio.reconversion_hooked, messages_per_s.*, ns.*.
#include <windows.h>

#include <imm.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "kvexedit.h"
#include "support/loaded_dll.h"
#include "support/processes.h"

namespace {

int g_rounds = 31;
int g_sampleMs = 30;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Stats {
    std::vector<double> samples;  // ns per operation
    double Median() const {
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s.empty() ? 0 : s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
    double Min() const { return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end()); }
    double Max() const { return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end()); }
};

// The median over the rounds of a / b, each round's samples taken back to
// back: a drift of the machine's speed cancels out within a round.
double PairedRatio(const Stats& a, const Stats& b) {
    Stats ratios;
    for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i)
        ratios.samples.push_back(a.samples[i] / b.samples[i]);
    return ratios.Median();
}

// Runs `op` `count` times and gives the nanoseconds per run.
template <class Op>
double NsPerOp(Op op, long count) {
    double start = Now();
    for (long i = 0; i < count; ++i) op(i);
    return (Now() - start) * 1e9 / static_cast<double>(count);
}

// How many runs of `op` fill one sample.
template <class Op>
long Calibrate(Op op) {
    long count = 16;
    for (;;) {
        double ns = NsPerOp(op, count);
        if (ns * static_cast<double>(count) >= 5e6 || count >= (1L << 26)) {
            long wanted = static_cast<long>(g_sampleMs * 1e6 / (ns > 0 ? ns : 1));
            return wanted < 8 ? 8 : wanted;
        }
        count *= 4;
    }
}


// ---- the hook on ordinary messages ----

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return static_cast<LRESULT>(wParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

struct EmptyHookDll {
    HMODULE module = nullptr;
    int(WINAPI* install)(void) = nullptr;
    BOOL(WINAPI* remove)(void) = nullptr;
};

EmptyHookDll LoadEmptyHook() {
    EmptyHookDll dll;
    dll.module = LoadLibraryA((ExeDir() + "empty_hook.dll").c_str());
    if (dll.module) {
        dll.install = reinterpret_cast<int(WINAPI*)(void)>(
            reinterpret_cast<void*>(GetProcAddress(dll.module, "InstallEmptyHook")));
        dll.remove = reinterpret_cast<BOOL(WINAPI*)(void)>(
            reinterpret_cast<void*>(GetProcAddress(dll.module, "RemoveEmptyHook")));
    }
    return dll;
}

enum HookMode { NO_HOOK, EMPTY_HOOK, OUR_HOOK, HOOK_MODES };
const char* const kHookNames[HOOK_MODES] = {"no hook", "empty pass-through hook", "RODAVOZI.DLL hook"};

bool Install(HookMode mode, const EmptyHookDll& empty) {
    if (mode == EMPTY_HOOK) return empty.install() == 1;
    if (mode == OUR_HOOK) return Dll().InitReconvertEdit(0) == 1;
    return true;
}

void Remove(HookMode mode, const EmptyHookDll& empty) {
    if (mode == EMPTY_HOOK) empty.remove();
    if (mode == OUR_HOOK) Dll().EndReconvertEdit();
}

// Figures for scripts, printed as "name=value" lines at the end.
std::vector<std::string> g_figures;
void Figure(const char* name, double value) {
    char line[96];
    snprintf(line, sizeof line, "%s=%.3f", name, value);
    g_figures.push_back(line);
}

bool HookBench(double* ratio) {
    EmptyHookDll empty = LoadEmptyHook();
    if (!empty.install || !empty.remove) {
        fprintf(stderr, "cannot load empty_hook.dll next to the benchmark\n");
        return false;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "rodavozi bench plain";
    RegisterClassA(&wc);
    HWND plain = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               wc.hInstance, nullptr);
    volatile LRESULT sink = 0;
    auto send = [&](long i) { sink = sink + SendMessageA(plain, WM_USER, static_cast<WPARAM>(i), 0); };

    // Calibrated with our hook, the slowest expected.
    if (!Install(OUR_HOOK, empty)) return false;
    long count = Calibrate(send);
    Remove(OUR_HOOK, empty);

    Stats stats[HOOK_MODES];
    // Twice the rounds: the two hooks differ by far less than the noise of
    // Wine's hook machinery.
    const int rounds = 2 * g_rounds;
    for (int round = 0; round < rounds; ++round)
        for (int k = 0; k < HOOK_MODES; ++k) {
            HookMode mode = static_cast<HookMode>((round + k) % HOOK_MODES);
            if (!Install(mode, empty)) {
                fprintf(stderr, "cannot install the %s\n", kHookNames[mode]);
                return false;
            }
            stats[mode].samples.push_back(NsPerOp(send, count));
            Remove(mode, empty);
        }
    DestroyWindow(plain);

    printf("Hook cost on ordinary messages: SendMessageA(WM_USER) to a window of the same thread,\n");
    printf("%ld messages per sample, median of %d rounds\n\n", count, rounds);
    printf("  %-28s %14s %10s %10s %10s\n", "", "messages/s", "ns/msg", "min", "max");
    for (int m = 0; m < HOOK_MODES; ++m)
        printf("  %-28s %14.0f %10.1f %10.1f %10.1f\n", kHookNames[m], 1e9 / stats[m].Median(), stats[m].Median(),
               stats[m].Min(), stats[m].Max());
    *ratio = PairedRatio(stats[OUR_HOOK], stats[EMPTY_HOOK]);
    Figure("messages_per_s.no_hook", 1e9 / stats[NO_HOOK].Median());
    Figure("messages_per_s.empty_hook", 1e9 / stats[EMPTY_HOOK].Median());
    Figure("messages_per_s.our_hook", 1e9 / stats[OUR_HOOK].Median());
    printf("\n  ours / empty hook (time per message, median of the rounds): %.3f   (goal <= 1.05)\n\n", *ratio);
    return true;
}

// ---- a reconversion of the longest text ----

// Code page 932 prose of exactly `length` bytes: sentences of kanji and kana
// with ASCII now and then and a line break after some.
std::string Prose(size_t length) {
    static const char* const kWords[] = {
        "\x93\xFA\x96\x7B\x8C\xEA",  // 日本語
        "\x82\xCC",                  // の
        "\x95\xB6\x8F\xCD",          // 文章
        "\x82\xF0",                  // を
        "\x8A\xBF\x8E\x9A",          // 漢字
        "\x82\xC9",                  // に
        "\x95\xCF\x8A\xB7",          // 変換
        "\x82\xB7\x82\xE9",          // する
        "\x83\x65\x83\x58\x83\x67",  // テスト
        "\x81\x41",                  // 、
        "Wine 64",
        "\x81\x42",                  // 。
    };
    std::string out;
    unsigned state = 12345;
    while (out.size() < length) {
        state = state * 1103515245u + 12345u;
        out += kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
        if ((state >> 8) % 23 == 0) out += "\r\n";
    }
    // Cut back to whole characters, then pad with letters.
    out.resize(length);
    size_t whole = 0;
    for (size_t i = 0; i < out.size();) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        size_t width = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
        if (i + width > out.size()) break;
        i += width;
        whole = i;
    }
    out.resize(whole);
    while (out.size() < length) out += 'a';
    return out;
}

struct ReconversionCase {
    const char* name;
    bool unicode;     // MSIMEReconvert with a UTF-16 record, else WM_IME_REQUEST with an ANSI one
    bool asciiText;   // the text before the word is ASCII letters, else Japanese prose
};

bool ReconversionBench(double* ratio, double* hookedRatio) {
    RegisterKvexEditClass(GetModuleHandleA(nullptr));
    WNDCLASSA kvex = {};
    GetClassInfoA(GetModuleHandleA(nullptr), KVEXEDIT_CLASS, &kvex);
    const UINT msImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    // The word at the end: "ここで漢字を変換する。", the caret before "する。".
    const std::string tail = "\x82\xB1\x82\xB1\x82\xC5\x8A\xBF\x8E\x9A\x82\xF0\x95\xCF\x8A\xB7\x82\xB7\x82\xE9\x81\x42";
    const ReconversionCase cases[] = {
        {"WM_IME_REQUEST, ANSI record, Japanese text", false, false},
        {"MSIMEReconvert, UTF-16 record, Japanese text", true, false},
        {"WM_IME_REQUEST, ANSI record, ASCII text", false, true},
    };

    printf("Reconversion of a 65,534-byte text, caret 6 bytes before its end: size query, fill and\n");
    printf("confirmation of the two characters before the caret (the caret put back before each is timed\n");
    printf("apart and not counted), against GetWindowTextA of the same text from the same (subclassed)\n");
    printf("editor; median of %d rounds\n\n", g_rounds);
    printf("  %-46s %-15s %12s %12s %8s\n", "", "hook", "reconv ns", "read ns", "ratio");
    *ratio = *hookedRatio = 0;
    double stepTimes[2] = {};
    for (const ReconversionCase& c : cases) {
        if (Dll().InitReconvertEdit(0) != 1) return false;
        std::string text = (c.asciiText ? std::string(65534 - tail.size() - 1, 'a') + " " : Prose(65534 - tail.size() - 1) + " ") + tail;
        const DWORD caret = static_cast<DWORD>(text.size() - 6);
        HWND editor = CreateWindowA(KVEXEDIT_CLASS, "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 60, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        const UINT message = c.unicode ? msImeReconvert : WM_IME_REQUEST;
        alignas(8) BYTE record[160];
        RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
        std::vector<char> buffer(65535);
        LRESULT answers[3] = {};
        auto reconvert = [&](long) {
            SendMessageA(editor, EM_SETSEL, caret, caret);
            answers[0] = SendMessageA(editor, message, IMR_RECONVERTSTRING, 0);
            memset(record, 0, sizeof record);
            rs->dwSize = sizeof record;
            answers[1] = SendMessageA(editor, message, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
            // The IME converts the two characters before the caret.
            const DWORD unit = c.unicode ? 2 : 1;
            rs->dwCompStrOffset = rs->dwTargetStrOffset = rs->dwCompStrOffset - 4;
            rs->dwCompStrLen = rs->dwTargetStrLen = 4 / unit;
            answers[2] = SendMessageA(editor, message, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record));
        };
        int got = 0;
        auto read = [&](long) { got = GetWindowTextA(editor, buffer.data(), 65535); };
        auto caretBack = [&](long) { SendMessageA(editor, EM_SETSEL, caret, caret); };

        // Once, checked: the figures mean nothing if the work is not done.
        reconvert(0);
        read(0);
        DWORD selection = static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0));
        if (answers[0] != 160 || answers[1] != 160 || answers[2] != 1 || rs->dwStrLen == 0 ||
            selection != static_cast<DWORD>(MAKELONG(caret - 4, caret)) || got != 65534) {
            fprintf(stderr, "%s: the reconversion did not work (answers %ld %ld %ld, string %lu, selection %lx, read %d)\n",
                    c.name, static_cast<long>(answers[0]), static_cast<long>(answers[1]), static_cast<long>(answers[2]),
                    static_cast<unsigned long>(rs->dwStrLen), static_cast<unsigned long>(selection), got);
            return false;
        }
        for (int hooked = 1; hooked >= 0; --hooked) {
            if (!hooked) {
                // The editor keeps the subclass procedure; only the hook goes.
                Dll().EndReconvertEdit();
                reconvert(0);
                if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(editor, GWLP_WNDPROC)) == kvex.lpfnWndProc ||
                    answers[1] != 160 || answers[2] != 1) {
                    fprintf(stderr, "%s: the editor is not served once the hook is removed\n", c.name);
                    return false;
                }
            }
            // The caret put back is the benchmark's doing, not the
            // reconversion's: timed alone in the same round and taken off.
            // For the first case without the hook, the steps are timed too.
            const bool steps = !hooked && &c == &cases[0];
            std::vector<std::function<void(long)>> ops = {reconvert, read, caretBack};
            if (steps) {
                ops.push_back([&](long) { SendMessageA(editor, message, IMR_RECONVERTSTRING, 0); });
                ops.push_back([&](long) {
                    caretBack(0);
                    memset(record, 0, sizeof record);
                    rs->dwSize = sizeof record;
                    SendMessageA(editor, message, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
                });
            }
            std::vector<long> counts;
            for (auto& op : ops) counts.push_back(Calibrate(op));
            Stats full, plain, fill, confirmation;
            const size_t n = ops.size();
            for (int round = 0; round < g_rounds; ++round) {
                std::vector<double> sample(n);
                for (size_t k = 0; k < n; ++k) {
                    size_t which = (round + k) % n;
                    sample[which] = NsPerOp(ops[which], counts[which]);
                }
                full.samples.push_back(sample[0] - sample[2]);
                plain.samples.push_back(sample[1]);
                if (steps) {
                    fill.samples.push_back(sample[4] - sample[2]);
                    confirmation.samples.push_back(sample[0] - sample[4] - sample[3]);
                }
            }
            if (steps) {
                stepTimes[0] = fill.Median();
                stepTimes[1] = confirmation.Median();
                Figure("ns.fill", stepTimes[0]);
                Figure("ns.confirmation", stepTimes[1]);
            }
            double r = PairedRatio(full, plain);
            printf("  %-46s %-15s %12.0f %12.0f %8.2f\n", c.name, hooked ? "installed" : "removed", full.Median(),
                   plain.Median(), r);
            double* worst = hooked ? hookedRatio : ratio;
            if (r > *worst) *worst = r;
            if (&c == &cases[0]) {
                Figure(hooked ? "ns.reconversion_hooked" : "ns.reconversion", full.Median());
                Figure(hooked ? "ns.read_hooked" : "ns.read", plain.Median());
            }
        }
        DestroyWindow(editor);
    }
    printf("\n  %s, hook removed, one step at a time (ns):\n", cases[0].name);
    printf("    fill %.0f, confirmation %.0f (its EM_SETSEL to the editor included)\n", stepTimes[0], stepTimes[1]);
    printf("\n  the largest ratio, hook removed (the library's own work): %.2f   (goal <= 1.3)\n", *ratio);
    printf("  the largest ratio, hook installed (Wine's cost per hooked message included): %.2f\n\n",
           *hookedRatio);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--rounds") == 0) g_rounds = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--sample-ms") == 0) g_sampleMs = atoi(argv[i + 1]);
    }
    if (g_rounds < 1) g_rounds = 1;
    if (g_sampleMs < 1) g_sampleMs = 1;
    if (!Dll().module || !Dll().InitReconvertEdit) {
        fprintf(stderr, "cannot load RODAVOZI.DLL next to the benchmark\n");
        return 1;
    }
    printf("Wine benchmarks: ANSI code page %u, %d rounds of %d ms samples\n\n", GetACP(), g_rounds, g_sampleMs);
    double hook = 0, reconversion = 0, hookedReconversion = 0;
    if (!HookBench(&hook)) return 1;
    if (!ReconversionBench(&reconversion, &hookedReconversion)) return 1;
    Figure("ratio.hook", hook);
    Figure("ratio.reconversion", reconversion);
    Figure("ratio.reconversion_hooked", hookedReconversion);
    for (const std::string& line : g_figures) printf("%s\n", line.c_str());
    return 0;
}
