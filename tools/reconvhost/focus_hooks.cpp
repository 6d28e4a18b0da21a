#include "focus_hooks.h"

#include <string>
#include <vector>

namespace {

#ifdef _WIN64
#define OWN_BITS L"64-bit"
#define OTHER_BITS L"32-bit"
#else
#define OWN_BITS L"32-bit"
#define OTHER_BITS L"64-bit"
#endif

// How often ended threads are swept out and the foreground thread's focus is
// looked at (a focus set by code in a thread that takes no messages, or
// before the watch started, raises no event).
const UINT kSweepMs = 250;

// One hooked thread. The handle tells when the thread has ended: its id may
// then be given to a new thread, which this hook does not cover.
struct ThreadHook {
    DWORD thread;
    HANDLE handle;
    HHOOK hook;
    std::wstring program;
};

HookThreadProc g_hookThread;
HWINEVENTHOOK g_eventHook;
UINT_PTR g_timer;
std::vector<ThreadHook> g_hooks;
BOOL g_ownWow64;

// One line to standard output (kind STD_OUTPUT_HANDLE) or standard error,
// when the host has that handle; never a message box, never a console of
// its own: these come at any time while the host runs.
void Line(DWORD kind, const std::wstring& text) {
    HANDLE handle = GetStdHandle(kind);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    std::wstring line = (kind == STD_ERROR_HANDLE ? L"reconvhost: " : L"") + text + L"\n";
    DWORD mode, written;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                   nullptr);
    if (size <= 0) return;
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), &ansi[0], size, nullptr, nullptr);
    WriteFile(handle, ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
}

std::wstring Number(DWORD value) { return std::to_wstring(value); }

// The processes last found not to be served (the other architecture, or
// not to be opened): said once, and not opened again on every focus change.
DWORD g_foreign[8];
size_t g_nextForeign;

bool IsForeign(DWORD process) {
    for (DWORD known : g_foreign)
        if (known == process) return true;
    return false;
}

void NoteForeign(DWORD process, const std::wstring& why) {
    g_foreign[g_nextForeign++ % 8] = process;
    Line(STD_ERROR_HANDLE, why);
}

// Window classes compare without regard to ASCII case, whatever the locale.
bool SameAsciiName(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        wchar_t x = *a >= L'A' && *a <= L'Z' ? *a + 32 : *a;
        wchar_t y = *b >= L'A' && *b <= L'Z' ? *b + 32 : *b;
        if (x != y) return false;
        if (x == 0) return true;
    }
}

// The classes RODAVOZI.DLL serves; the name read in *name.
bool IsServedClass(HWND window, wchar_t (&name)[64]) {
    if (GetClassNameW(window, name, 64) == 0) return false;
    return SameAsciiName(name, L"edit") || SameAsciiName(name, L"kvexedit");
}

std::wstring ProgramName(HANDLE process) {
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return L"a program";
    std::wstring full(path, size);
    size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

bool Ended(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

// Removes one entry's hook (the system may have removed it with its thread
// already) and forgets the entry.
void Drop(size_t index, const wchar_t* why) {
    ThreadHook& entry = g_hooks[index];
    UnhookWindowsHookEx(entry.hook);
    CloseHandle(entry.handle);
    if (why) Line(STD_OUTPUT_HANDLE, L"unhooked thread " + Number(entry.thread) + L" of " + entry.program + why);
    g_hooks.erase(g_hooks.begin() + static_cast<std::ptrdiff_t>(index));
}

// Hooks `thread`, whose window `window` of class `name` has the focus, in
// process `process` (of this host's architecture) named `program`.
void HookThread(HWND window, DWORD thread, const wchar_t* name, const std::wstring& program) {
    const std::wstring which = L"thread " + Number(thread) + L" of " + program;
    // Opened before the hook and checked against the window: the handle is
    // then surely the thread that owns the focused window.
    HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, thread);
    if (handle == nullptr && GetLastError() != ERROR_INVALID_PARAMETER) {
        Line(STD_ERROR_HANDLE, L"cannot watch " + which + L" (error " + Number(GetLastError()) + L"): not served.");
        return;
    }
    if (handle == nullptr || GetWindowThreadProcessId(window, nullptr) != thread) {
        if (handle) CloseHandle(handle);
        Line(STD_ERROR_HANDLE, which + L" ended before it could be hooked.");
        return;
    }
    HHOOK hook = g_hookThread(thread);
    DWORD error = GetLastError();
    if (hook == nullptr || Ended(handle)) {
        if (hook) UnhookWindowsHookEx(hook);
        if (hook || Ended(handle) || !IsWindow(window))
            Line(STD_ERROR_HANDLE, which + L" ended before it could be hooked.");
        else
            Line(STD_ERROR_HANDLE, L"cannot hook " + which + L" (error " + Number(error) + L"): not served.");
        CloseHandle(handle);
        return;
    }
    g_hooks.push_back({thread, handle, hook, program});
    Line(STD_OUTPUT_HANDLE, L"hooked " + which + L": its \"" + name + L"\" window has the focus.");
}

// `window` has the focus: hook its thread if it is a served edit control of
// this host's architecture that is not hooked yet.
void OnFocus(HWND window) {
    wchar_t name[64];
    if (window == nullptr || !IsServedClass(window, name)) return;
    DWORD processId = 0;
    DWORD thread = GetWindowThreadProcessId(window, &processId);
    if (thread == 0 || IsForeign(processId)) return;
    for (size_t i = 0; i < g_hooks.size(); ++i) {
        if (g_hooks[i].thread != thread) continue;
        if (!Ended(g_hooks[i].handle)) return;  // hooked already
        Drop(i, L": the thread ended.");           // its id went to a new thread
        break;
    }
    const std::wstring served = L"its \"" + std::wstring(name) + L"\" window is not served.";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    BOOL wow64 = FALSE;
    if (process == nullptr || !IsWow64Process(process, &wow64)) {
        NoteForeign(processId, L"cannot tell whether process " + Number(processId) + L" is 32- or 64-bit (error " +
                                   Number(GetLastError()) + L"): " + served);
        if (process) CloseHandle(process);
        return;
    }
    std::wstring program = ProgramName(process);
    CloseHandle(process);
    if (wow64 != g_ownWow64) {
        // This DLL cannot be loaded there; the other host serves it.
        NoteForeign(processId, program + L" (process " + Number(processId) + L") is a " OTHER_BITS
                                   L" program: this " OWN_BITS L" host cannot serve it, the " OTHER_BITS
                                   L" host does; " + served);
        return;
    }
    HookThread(window, thread, name, program);
}

void CALLBACK FocusEvent(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) { OnFocus(window); }

void CALLBACK Sweep(HWND, UINT, UINT_PTR, DWORD) {
    for (size_t i = g_hooks.size(); i-- > 0;)
        if (Ended(g_hooks[i].handle)) Drop(i, L": the thread ended.");
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(0, &info)) OnFocus(info.hwndFocus);
}

}  // namespace

bool StartFocusHooks(HookThreadProc hookThread) {
    g_hookThread = hookThread;
    if (!IsWow64Process(GetCurrentProcess(), &g_ownWow64)) g_ownWow64 = FALSE;
    g_eventHook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, FocusEvent, 0, 0,
                                  WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (g_eventHook == nullptr) return false;
    g_timer = SetTimer(nullptr, 0, kSweepMs, Sweep);
    // The focus as it is now: no event comes for it.
    Sweep(nullptr, 0, 0, 0);
    return true;
}

void StopFocusHooks() {
    if (g_eventHook) UnhookWinEvent(g_eventHook);
    g_eventHook = nullptr;
    if (g_timer) KillTimer(nullptr, g_timer);
    g_timer = 0;
    while (!g_hooks.empty()) Drop(g_hooks.size() - 1, nullptr);
}
