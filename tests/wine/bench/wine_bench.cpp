// The two benchmarks that need a window system, run under Wine. Figures
// only: nothing passes or fails on a number.
//
//  hook      messages per second sent (SendMessageA, WM_USER) to an ordinary
//            window of this thread: with no hook, with the empty pass-through
//            hook of empty_hook.dll, and with RODAVOZI.DLL's hook. The ratio
//            is the time per message with ours over the time with the empty one.
//  requests  on a subclassed multi-line "kvexedit" editor holding 40, 4,096,
//            65,534 bytes and 1 MiB, and on Wine's EDIT created as a Unicode
//            window holding 20, 30,000 and 1 Mi characters, caret near the
//            end: a fill of the IME's record, and a document feed, against
//            the bare window messages that they must send (the password
//            checks, the text length, the selection, the line messages that
//            read the caret's line), and a confirmation against the bare EM_GETSEL and
//            EM_SETSEL of the range it selects. Each confirmation measured
//            follows a fill of its own, as an IME's does (the fill is not
//            timed), and is checked to have selected the composition. Measured with the hook installed, where under
//            Wine every message pays the hook machinery's cost (the same for
//            an empty hook, see above), and with the hook removed once the
//            editor is subclassed, where the ratios show the library's own
//            work.
//
// Each time is the median of several rounds, and each ratio the median of
// the rounds' ratios; in every round the compared cases run back to back, in
// turns, so that a slow patch of the machine falls on all of them.
//
// Usage: wine_bench [--rounds N] [--sample-ms MS] [--messages [--serve-wait MS]]
// --messages measures only the messages per second, with no hook of its own
// (nor the DLL loaded), in the thread of a focused edit control and in a plain
// thread: scripts/bench runs it beside the hosts of each bitness. It prints
// messages_per_s.edit, messages_per_s.plain, served (1 when a request to the
// edit control was answered within --serve-wait MS, default 0) and served_ms.
// The last lines are "name=value" figures for scripts: ratio.hook,
// ratio.fill.<text>.<hook>, ratio.confirm.<text>.<hook>, messages_per_s.*,
// ns.*, with <text> ansi_40 ... utf16_65534, ansi_1m, uniedit_20, uniedit_30000, uniedit_1m and
// <hook> hooked or removed.
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
#include "request_text.h"
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

// Runs `setup`, `op` and `after` `count` times, timing `op` alone each time:
// the nanoseconds per `op`, never below zero.
template <class Setup, class Op, class After>
double NsPerTimedOp(Setup setup, Op op, After after, long count) {
    double total = 0;
    for (long i = 0; i < count; ++i) {
        setup(i);
        double start = Now();
        op(i);
        total += Now() - start;
        after(i);
    }
    return total * 1e9 / static_cast<double>(count);
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
    dll.module = LoadLibraryW((TestFolder() + L"empty_hook.dll").c_str());
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

HWND PlainWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "rodavozi bench plain";
    RegisterClassA(&wc);
    return CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

// --messages: what the hosts running cost this program. This thread's edit
// control has the focus; another thread has only a plain window. Each thread
// sends to a window of its own, in turns; the fastest sample of each is the
// one least disturbed by the rest of the machine.
double MessagesPerSecond(HWND window) {
    volatile LRESULT sink = 0;
    long count = 0;
    double start = Now(), elapsed = 0;
    for (; elapsed * 1000 < g_sampleMs; elapsed = Now() - start, count += 16)
        for (int i = 0; i < 16; ++i) sink = sink + SendMessageA(window, WM_USER, static_cast<WPARAM>(i), 0);
    return static_cast<double>(count) / elapsed;
}

struct PlainThread {
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, nullptr), done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    double rate = 0;  // handed over through the events
    bool quit = false;
};

DWORD WINAPI PlainThreadMain(LPVOID param) {
    PlainThread* t = static_cast<PlainThread*>(param);
    HWND plain = PlainWindow();
    for (SetEvent(t->done); WaitForSingleObject(t->go, INFINITE) == WAIT_OBJECT_0 && !t->quit; SetEvent(t->done))
        t->rate = MessagesPerSecond(plain);
    DestroyWindow(plain);
    return 0;
}

int MessageRate(int serveWaitMs) {
    PlainThread other;
    HANDLE thread = CreateThread(nullptr, 0, PlainThreadMain, &other, 0, nullptr);
    WaitForSingleObject(other.done, INFINITE);
    HWND edit = CreateWindowA("Edit", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 40, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    HWND plain = PlainWindow();
    SetForegroundWindow(edit);
    SetFocus(edit);
    // Whether a host serves the editor, and how soon after the focus: a new
    // thread hook takes effect once the thread takes a message, as here.
    double focused = Now(), servedMs = -1;
    for (MSG msg;; Sleep(5)) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        double ms = (Now() - focused) * 1000;
        if (SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0) != 0) servedMs = ms;
        if (servedMs >= 0 || ms >= serveWaitMs) break;
    }
    Stats here, there;
    for (int round = 0; round < g_rounds; ++round) {
        here.samples.push_back(MessagesPerSecond(plain));
        SetEvent(other.go);
        WaitForSingleObject(other.done, INFINITE);
        there.samples.push_back(other.rate);
    }
    other.quit = true;
    SetEvent(other.go);
    WaitForSingleObject(thread, INFINITE);
    printf("messages_per_s.edit=%.0f\nmessages_per_s.plain=%.0f\nserved=%d\nserved_ms=%.1f\n", here.Max(),
           there.Max(), servedMs >= 0, servedMs);
    return 0;
}

bool HookBench(double* ratio) {
    EmptyHookDll empty = LoadEmptyHook();
    if (!empty.install || !empty.remove) {
        fprintf(stderr, "cannot load empty_hook.dll next to the benchmark\n");
        return false;
    }
    HWND plain = PlainWindow();
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

// ---- a fill and a confirmation against the messages they must send ----

struct RequestCase {
    const char* key;  // for the figures: ansi_40, ...
    size_t length;    // bytes of editor text (characters for a Unicode EDIT)
    bool utf16;       // MSIMEReconvert with a UTF-16 record, else WM_IME_REQUEST in the window's form
    bool wideEdit;    // Wine's EDIT as a Unicode window (positions in UTF-16 units), else kvexedit
};

const RequestCase kRequestCases[] = {
    {"ansi_40", 40, false, false},       {"ansi_4096", 4096, false, false},
    {"ansi_65534", 65534, false, false}, {"utf16_65534", 65534, true, false},
    {"ansi_1m", 1 << 20, false, false},  {"uniedit_20", 20, false, true},
    {"uniedit_30000", 30000, false, true}, {"uniedit_1m", 1 << 20, false, true},
};

// The editor text of a Unicode EDIT: the last `characters` of the benchmark
// text in UTF-16, so it ends as the ANSI texts do.
std::wstring WideRequestText(size_t characters) {
    const std::string ansi = RequestText(std::max<size_t>(65534, 2 * characters + 64));
    std::wstring wide(ansi.size() + 1, L'\0');
    int n = MultiByteToWideChar(932, 0, ansi.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return wide.substr(wide.size() - characters);
}

// One case in one mode of the hook: the fill against the bare messages a
// fill of this editor sends (the password checks, the text length, the
// selection, the whole text), and the confirmation against a bare EM_GETSEL
// and EM_SETSEL of the range it selects. Before each confirmation the caret
// goes back and a fill offers the text again, untimed.
bool MeasureRequests(const RequestCase& c, HWND editor, UINT message, bool hooked) {
    const bool wide = IsWindowUnicode(editor) != 0;
    const DWORD caret = static_cast<DWORD>(c.wideEdit ? c.length - REQUEST_CARET_FROM_END / 2
                                                      : c.length - REQUEST_CARET_FROM_END);
    const DWORD unit = c.utf16 || wide ? 2 : 1;
    const DWORD back = c.wideEdit ? 2 : 4;  // two characters, in the control's units
    alignas(8) BYTE record[160] = {};
    RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
    std::vector<char> buffer(2 * 65535);
    volatile LRESULT sink = 0;
    auto send = [&](UINT m, WPARAM w, LPARAM l) {
        return wide ? SendMessageW(editor, m, w, l) : SendMessageA(editor, m, w, l);
    };

    auto caretBack = [&](long) { send(EM_SETSEL, caret, caret); };
    caretBack(0);
    rs->dwSize = sizeof record;
    LRESULT filled = send(message, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    // The IME converts the two characters before the caret. The confirmation
    // only reads the record, so one copy serves every run.
    alignas(8) BYTE confirmRecord[160];
    memcpy(confirmRecord, record, sizeof record);
    RECONVERTSTRING* cs = reinterpret_cast<RECONVERTSTRING*>(confirmRecord);
    cs->dwCompStrOffset = cs->dwTargetStrOffset = rs->dwCompStrOffset - 4;
    cs->dwCompStrLen = cs->dwTargetStrLen = 4 / unit;
    const DWORD composition = static_cast<DWORD>(MAKELONG(caret - back, caret));
    LRESULT confirmed = send(message, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(confirmRecord));
    DWORD selection = static_cast<DWORD>(send(EM_GETSEL, 0, 0));
    // The figures mean nothing if the work is not done.
    if (filled != 160 || rs->dwStrLen == 0 || rs->dwCompStrOffset < 4 || confirmed != 1 || selection != composition) {
        fprintf(stderr, "%s: the requests did not work (fill %ld, string %lu, confirmation %ld, selection %lx)\n",
                c.key, static_cast<long>(filled), static_cast<unsigned long>(rs->dwStrLen),
                static_cast<long>(confirmed), static_cast<unsigned long>(selection));
        return false;
    }

    auto fill = [&](long) { sink = sink + send(message, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)); };
    // The caret's line as the text source reads it: with the line before
    // when the caret is near its start, the next line's index and length
    // when its end is near the caret, and the line copied up to 34 units
    // past the caret.
    const long long at = caret, lines = send(EM_GETLINECOUNT, 0, 0), line = send(EM_LINEFROMCHAR, caret, 0);
    const long long index = send(EM_LINEINDEX, line, 0), lineLength = send(EM_LINELENGTH, index, 0);
    const bool lineBefore = line > 0 && at - index < 32, lineAfter = line + 1 < lines && index + lineLength < at + 34;
    const WORD copied = static_cast<WORD>(std::min(lineLength, at - index + 34));
    // What the edit-control text source asks the window for, in its order.
    auto bareFill = [&](long) {
        DWORD start = 0, end = 0;
        sink = sink + GetWindowLongA(editor, GWL_STYLE);
        sink = sink + SendMessageA(editor, EM_GETPASSWORDCHAR, 0, 0);
        sink = sink + (wide ? GetWindowTextLengthW(editor) : GetWindowTextLengthA(editor));
        sink = sink + send(EM_GETLINECOUNT, 0, 0);
        sink = sink + send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        sink = sink + send(EM_GETLINECOUNT, 0, 0);
        sink = sink + send(EM_LINEINDEX, send(EM_LINEFROMCHAR, start, 0), 0);
        sink = sink + send(EM_LINELENGTH, index, 0);
        if (lineBefore) sink = sink + send(EM_LINELENGTH, send(EM_LINEINDEX, line - 1, 0), 0);
        if (lineAfter) sink = sink + send(EM_LINELENGTH, send(EM_LINEINDEX, line + 1, 0), 0);
        memcpy(buffer.data(), &copied, sizeof copied);
        sink = sink + send(EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer.data()));
    };
    // A document feed of the window's own form, as an IME of today sends it.
    const bool feeds = message == WM_IME_REQUEST;
    auto feed = [&](long) {
        rs->dwSize = sizeof record;
        sink = sink + send(WM_IME_REQUEST, IMR_DOCUMENTFEED, reinterpret_cast<LPARAM>(record));
    };
    if (feeds) {
        feed(0);
        if (rs->dwStrLen == 0 || send(WM_IME_REQUEST, IMR_DOCUMENTFEED, reinterpret_cast<LPARAM>(record)) != 160) {
            fprintf(stderr, "%s: the document feed offered nothing\n", c.key);
            return false;
        }
    }
    long missed = 0;
    auto fillAgain = [&](long) {
        caretBack(0);
        fill(0);
    };
    auto confirm = [&](long) {
        sink = sink + send(message, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(confirmRecord));
    };
    auto bareConfirm = [&](long) {
        sink = sink + send(EM_GETSEL, 0, 0);
        send(EM_SETSEL, caret - back, caret);
    };
    auto checked = [&](long) {
        if (static_cast<DWORD>(send(EM_GETSEL, 0, 0)) != composition) ++missed;
    };
    const long fillCount = Calibrate(fill), bareFillCount = Calibrate(bareFill);
    const long confirmCount = Calibrate([&](long i) {
        fillAgain(i);
        confirm(i);
    });
    const long feedCount = feeds ? Calibrate(feed) : 0;
    Stats fills, bareFills, confirms, bareConfirms, feedStats;
    for (int round = 0; round < g_rounds; ++round) {
        for (int k = 0; k < 5; ++k) {
            caretBack(0);  // every fill reads a caret, not the last confirmation's selection
            switch ((round + k) % 5) {
            case 0: fills.samples.push_back(NsPerOp(fill, fillCount)); break;
            case 1: bareFills.samples.push_back(NsPerOp(bareFill, bareFillCount)); break;
            case 2: confirms.samples.push_back(NsPerTimedOp(fillAgain, confirm, checked, confirmCount)); break;
            case 3:
                bareConfirms.samples.push_back(NsPerTimedOp(caretBack, bareConfirm, [](long) {}, confirmCount));
                break;
            case 4:
                if (feeds) feedStats.samples.push_back(NsPerOp(feed, feedCount));
                break;
            }
        }
    }
    if (missed != 0) {
        fprintf(stderr, "%s: %ld measured confirmations did not select the composition\n", c.key, missed);
        return false;
    }
    const double fillRatio = PairedRatio(fills, bareFills), confirmRatio = PairedRatio(confirms, bareConfirms);
    // What a fill costs beyond its bare messages, median of the rounds;
    // noise can make a round's difference negative, the figure never is.
    Stats extra;
    for (size_t i = 0; i < fills.samples.size(); ++i) extra.samples.push_back(fills.samples[i] - bareFills.samples[i]);
    const double fillExtra = extra.Median() > 0 ? extra.Median() : 0;
    Stats feedExtra;
    for (size_t i = 0; i < feedStats.samples.size(); ++i)
        feedExtra.samples.push_back(feedStats.samples[i] - bareFills.samples[i]);
    const double feedBeyond = feedExtra.Median() > 0 ? feedExtra.Median() : 0;
    printf("  %-13s %-10s %10.0f %10.0f %8.3f %9.0f %10.0f %9.0f %12.0f %10.0f %8.3f\n", c.key,
           hooked ? "installed" : "removed", fills.Median(), bareFills.Median(), fillRatio, fillExtra,
           feedStats.Median(), feedBeyond, confirms.Median(), bareConfirms.Median(), confirmRatio);
    const std::string suffix = std::string(".") + c.key + (hooked ? ".hooked" : ".removed");
    Figure(("ratio.fill" + suffix).c_str(), fillRatio);
    Figure(("ratio.confirm" + suffix).c_str(), confirmRatio);
    Figure(("ns.fill" + suffix).c_str(), fills.Median());
    Figure(("ns.bare_fill" + suffix).c_str(), bareFills.Median());
    Figure(("ns.fill_extra" + suffix).c_str(), fillExtra);
    if (feeds) {
        Figure(("ns.feed" + suffix).c_str(), feedStats.Median());
        Figure(("ns.feed_extra" + suffix).c_str(), feedBeyond);
    }
    Figure(("ns.confirm" + suffix).c_str(), confirms.Median());
    Figure(("ns.bare_confirm" + suffix).c_str(), bareConfirms.Median());
    return true;
}

bool RequestBench() {
    RegisterKvexEditClass(GetModuleHandleA(nullptr));
    const UINT msImeReconvert = RegisterWindowMessageA("MSIMEReconvert");

    printf("Requests to a subclassed editor (kvexedit; uniedit: Wine's EDIT as a Unicode window), caret %d bytes\n",
           REQUEST_CARET_FROM_END);
    printf("before the end of the text: a fill against the bare messages it sends (GWL_STYLE, EM_GETPASSWORDCHAR,\n");
    printf("WM_GETTEXTLENGTH, EM_GETSEL, the line messages), and what it costs beyond them; a document feed\n");
    printf("(WM_IME_REQUEST cases) and what it costs beyond the same messages; a confirmation of the two\n");
    printf("characters before the caret, each after a fill of its own (untimed), against a bare EM_GETSEL and\n");
    printf("EM_SETSEL of that range; ns per request, median of %d rounds\n\n", g_rounds);
    printf("  %-13s %-10s %10s %10s %8s %9s %10s %9s %12s %10s %8s\n", "text", "hook", "fill", "bare", "ratio", "extra",
           "feed", "extra", "confirmation", "bare", "ratio");
    for (const RequestCase& c : kRequestCases) {
        if (Dll().InitReconvertEdit(0) != 1) return false;
        HWND editor;
        if (c.wideEdit) {
            // The text after the limit is lifted: created with it, it would be cut.
            editor = CreateWindowW(L"EDIT", L"", WS_OVERLAPPEDWINDOW | ES_MULTILINE | ES_AUTOHSCROLL, 0, 0, 300, 60,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            SendMessageW(editor, EM_SETLIMITTEXT, 0, 0);
            SetWindowTextW(editor, WideRequestText(c.length).c_str());
        } else {
            const std::string text = RequestText(c.length);
            editor = CreateWindowA(KVEXEDIT_CLASS, "", WS_OVERLAPPEDWINDOW | ES_MULTILINE, 0, 0, 300, 60, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
            SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        const UINT message = c.utf16 ? msImeReconvert : WM_IME_REQUEST;
        // The first request subclasses the editor.
        WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(editor, GWLP_WNDPROC));
        SendMessageW(editor, message, IMR_RECONVERTSTRING, 0);
        bool ok = MeasureRequests(c, editor, message, true);
        // The editor keeps the subclass procedure; only the hook goes.
        Dll().EndReconvertEdit();
        if (ok && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(editor, GWLP_WNDPROC)) == own) {
            fprintf(stderr, "%s: the editor is not subclassed\n", c.key);
            ok = false;
        }
        ok = ok && MeasureRequests(c, editor, message, false);
        DestroyWindow(editor);
        if (!ok) return false;
    }
    printf("\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool messagesOnly = false;
    int serveWaitMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--messages") == 0) messagesOnly = true;
        else if (i + 1 < argc && strcmp(argv[i], "--rounds") == 0) g_rounds = atoi(argv[++i]);
        else if (i + 1 < argc && strcmp(argv[i], "--sample-ms") == 0) g_sampleMs = atoi(argv[++i]);
        else if (i + 1 < argc && strcmp(argv[i], "--serve-wait") == 0) serveWaitMs = atoi(argv[++i]);
    }
    if (g_rounds < 1) g_rounds = 1;
    if (g_sampleMs < 1) g_sampleMs = 1;
    if (messagesOnly) return MessageRate(serveWaitMs);
    if (!Dll().module || !Dll().InitReconvertEdit) {
        fprintf(stderr, "cannot load RODAVOZI.DLL next to the benchmark\n");
        return 1;
    }
    printf("Wine benchmarks: ANSI code page %u, %d rounds of %d ms samples\n\n", GetACP(), g_rounds, g_sampleMs);
    double hook = 0;
    if (!HookBench(&hook)) return 1;
    if (!RequestBench()) return 1;
    Figure("ratio.hook", hook);
    for (const std::string& line : g_figures) printf("%s\n", line.c_str());
    return 0;
}
