// What a host's hooks cost a program: messages per second sent
// (SendMessageA, WM_USER) to a window of the same thread, in the thread
// whose edit control has the focus and in a plain thread of the same
// program. scripts/bench runs it in both architectures with no host, with
// both hosts' desktop-wide hooks and with both hosts in --focus mode.
// Figures only. The program loads no DLL itself: only a host's hook brings
// RODAVOZI.DLL in.
//
// Usage: focus_bench [--rounds N] [--serve-wait MS]
// Prints "name=value" lines: rate.edit, rate.plain (messages/s, the fastest
// of the rounds' samples, the two threads measured in turns), served (1 when a size
// query to the focused edit control was answered) and served_ms (how long
// after the focus change it first was; asked until MS have passed, 3000 by
// default).
#include <windows.h>

#include <imm.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

const int kSampleMs = 20;

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return static_cast<LRESULT>(wParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreatePlain() {
    return CreateWindowA("focus bench plain", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Messages per second to `window` over one sample of about kSampleMs.
double Rate(HWND window) {
    volatile LRESULT sink = 0;
    long count = 0;
    double start = Now(), elapsed = 0;
    while (elapsed * 1000 < kSampleMs) {
        for (int i = 0; i < 16; ++i) sink = sink + SendMessageA(window, WM_USER, static_cast<WPARAM>(i), 0);
        count += 16;
        elapsed = Now() - start;
    }
    return static_cast<double>(count) / elapsed;
}

// The plain thread: takes one sample each time it is asked.
HANDLE g_go, g_done;
double g_plainRate;  // handed over through the events
bool g_quit;

DWORD WINAPI PlainThread(LPVOID) {
    HWND plain = CreatePlain();
    SetEvent(g_done);
    for (;;) {
        WaitForSingleObject(g_go, INFINITE);
        if (g_quit) break;
        g_plainRate = Rate(plain);
        SetEvent(g_done);
    }
    DestroyWindow(plain);
    return 0;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// The fastest sample: the one least disturbed by the rest of the machine.
double Best(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15, serveWaitMs = 3000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, atoi(argv[i + 1]));
        if (strcmp(argv[i], "--serve-wait") == 0) serveWaitMs = std::max(0, atoi(argv[i + 1]));
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "focus bench plain";
    RegisterClassA(&wc);

    g_go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE plainThread = CreateThread(nullptr, 0, PlainThread, nullptr, 0, nullptr);
    WaitForSingleObject(g_done, INFINITE);

    // The edit thread: a top-level editor in the foreground, its edit
    // control focused, and a plain window to send the messages to.
    HWND frame = CreateWindowA("focus bench plain", "focus bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 80,
                               nullptr, nullptr, wc.hInstance, nullptr);
    HWND edit = CreateWindowA("Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 280, 24, frame, nullptr, wc.hInstance, nullptr);
    HWND plain = CreatePlain();
    SetForegroundWindow(frame);
    SetFocus(edit);
    // Whether a host serves the editor, and how soon: a thread's new hook
    // takes effect once the thread takes a message, as it does here.
    double focused = Now(), servedMs = -1;
    for (;;) {
        Pump();
        double ms = (Now() - focused) * 1000;
        if (SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0) != 0) servedMs = ms;
        if (servedMs >= 0 || ms >= serveWaitMs) break;
        Sleep(5);
    }
    Pump();

    std::vector<double> editRates, plainRates;
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            if ((round + k) % 2 == 0) {
                editRates.push_back(Rate(plain));
            } else {
                SetEvent(g_go);
                WaitForSingleObject(g_done, INFINITE);
                plainRates.push_back(g_plainRate);
            }
        }
        Pump();
    }
    g_quit = true;
    SetEvent(g_go);
    WaitForSingleObject(plainThread, 10000);
    DestroyWindow(frame);
    DestroyWindow(plain);

    printf("rate.edit=%.0f\nrate.plain=%.0f\nserved=%d\nserved_ms=%.1f\n", Best(editRates), Best(plainRates),
           servedMs >= 0 ? 1 : 0, servedMs);
    return 0;
}
