#include "focus_hooks.h"

#include "host_lines.h"

#include <string>
#include <vector>

namespace {

// How often ended threads are swept out, idle ones let go, and the foreground
// thread's focus is looked at (a focus set by code in a thread that takes no
// messages, or before the watch started, raises no event).
const UINT kSweepMs = 250;

// How long a thread stays hooked once its focus has left every edit control.
// The edit controls it served stay subclassed (and the module mapped) without
// the hook, and a new focus hooks the thread again within one focus event;
// what keeping the hook costs is a few percent of that thread's messages.
const DWORD kIdleMs = 2000;

// One hooked thread. The handle tells when the thread has ended: its id may
// then be given to a new thread, which this hook does not cover.
struct ThreadHook {
    DWORD thread;
    HANDLE handle;
    HHOOK hook;
    std::wstring program;
    DWORD lastEditFocus;  // GetTickCount() when an edit control of it last had the focus
};

// A thread the system refused to hook, or that could not be watched: said
// once, and not tried again every sweep while its focus stays. The handle
// (when it could be opened) tells when its id goes to a new thread.
struct RefusedThread {
    DWORD thread;
    HANDLE handle;
};

// A process found not to be served (another architecture, or not to be
// opened), by id and start time: an id alone may belong to a new process.
struct ForeignProcess {
    DWORD process;
    ULONGLONG started;
};

const size_t kRemembered = 16;

HookThreadProc g_hookThread;
HWINEVENTHOOK g_eventHook;
UINT_PTR g_timer;
std::vector<ThreadHook> g_hooks;
RefusedThread g_refused[kRemembered];
size_t g_nextRefused;
ForeignProcess g_foreign[kRemembered];
size_t g_nextForeign;

void Line(DWORD kind, const std::wstring& text) { HostLine(kind, text); }

std::wstring Number(DWORD value) { return std::to_wstring(value); }

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

bool IsRefused(DWORD thread) {
    for (const RefusedThread& known : g_refused)
        if (known.thread == thread && (known.handle == nullptr || !Ended(known.handle))) return true;
    return false;
}

// Takes over `handle` (may be null).
void NoteRefused(DWORD thread, HANDLE handle, const std::wstring& why) {
    RefusedThread& slot = g_refused[g_nextRefused++ % kRemembered];
    if (slot.handle) CloseHandle(slot.handle);
    slot = {thread, handle};
    Line(STD_ERROR_HANDLE, why);
}

bool IsForeign(DWORD process, ULONGLONG started) {
    for (const ForeignProcess& known : g_foreign)
        if (known.process == process && known.started == started) return true;
    return false;
}

void NoteForeign(DWORD process, ULONGLONG started, const std::wstring& why) {
    g_foreign[g_nextForeign++ % kRemembered] = {process, started};
    Line(STD_ERROR_HANDLE, why);
}

ULONGLONG StartTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

#ifdef _WIN64
const USHORT kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
const USHORT kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

template <class T>
void Lookup(const wchar_t* module, const char* name, T* proc) {
    HMODULE handle = GetModuleHandleW(module);
    *proc = handle ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

// The machine a process's code is for. IsWow64Process2 (Windows 10 1709 and
// later) tells an x86 program on ARM64 Windows apart; a program that is not
// under WOW64 there may be ARM64 or x64, which only GetProcessInformation
// (Windows 11) tells. Without IsWow64Process2, IsWow64Process decides.
bool ProcessMachine(HANDLE process, USHORT* machine) {
    BOOL(WINAPI * isWow64Process2)(HANDLE, USHORT*, USHORT*);
    Lookup(L"kernel32.dll", "IsWow64Process2", &isWow64Process2);
    USHORT emulated = 0, native = 0;
    if (isWow64Process2 && isWow64Process2(process, &emulated, &native)) {
        if (emulated != IMAGE_FILE_MACHINE_UNKNOWN) {
            *machine = emulated;
            return true;
        }
        struct {
            USHORT ProcessMachine;
            USHORT Reserved;
            DWORD MachineAttributes;
        } info = {};
        BOOL(WINAPI * getProcessInformation)(HANDLE, int, void*, DWORD);
        Lookup(L"kernel32.dll", "GetProcessInformation", &getProcessInformation);
        const int kProcessMachineTypeInfo = 9;
        *machine = getProcessInformation && getProcessInformation(process, kProcessMachineTypeInfo, &info, sizeof info)
                       ? info.ProcessMachine
                       : native;
        return true;
    }
    BOOL wow64 = FALSE, ownWow64 = FALSE;
    if (!IsWow64Process(process, &wow64)) return false;
    IsWow64Process(GetCurrentProcess(), &ownWow64);
    bool windows64 = sizeof(void*) == 8 || ownWow64;
    *machine = wow64 || !windows64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    return true;
}

std::wstring MachineName(USHORT machine) {
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return L"32-bit";
    case IMAGE_FILE_MACHINE_AMD64: return L"64-bit";
    case 0xAA64: return L"ARM64";
    }
    return L"machine " + Number(machine);
}

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
        DWORD error = GetLastError();
        NoteRefused(thread, nullptr, L"cannot watch " + which + L" (error " + Number(error) + L"): not served.");
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
        if (hook || Ended(handle) || !IsWindow(window)) {
            Line(STD_ERROR_HANDLE, which + L" ended before it could be hooked.");
            CloseHandle(handle);
        } else {
            NoteRefused(thread, handle, L"cannot hook " + which + L" (error " + Number(error) + L"): not served.");
        }
        return;
    }
    g_hooks.push_back({thread, handle, hook, program, GetTickCount()});
    Line(STD_OUTPUT_HANDLE, L"hooked " + which + L": its \"" + name + L"\" window has the focus.");
}

// `window` has the focus: hook its thread if it is a served edit control of
// this host's architecture that is not hooked yet.
void OnFocus(HWND window) {
    wchar_t name[64];
    if (window == nullptr || !IsServedClass(window, name)) return;
    DWORD processId = 0;
    DWORD thread = GetWindowThreadProcessId(window, &processId);
    if (thread == 0) return;
    for (size_t i = 0; i < g_hooks.size(); ++i) {
        if (g_hooks[i].thread != thread) continue;
        if (!Ended(g_hooks[i].handle)) {  // hooked already
            g_hooks[i].lastEditFocus = GetTickCount();
            return;
        }
        Drop(i, L": the thread ended.");  // its id went to a new thread
        break;
    }
    if (IsRefused(thread)) return;
    const std::wstring served = L"its \"" + std::wstring(name) + L"\" window is not served.";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    ULONGLONG started = process ? StartTime(process) : 0;
    if (IsForeign(processId, started)) {
        if (process) CloseHandle(process);
        return;
    }
    USHORT machine = 0;
    if (process == nullptr || !ProcessMachine(process, &machine)) {
        NoteForeign(processId, started, L"cannot tell the architecture of process " + Number(processId) +
                                            L" (error " + Number(GetLastError()) + L"): " + served);
        if (process) CloseHandle(process);
        return;
    }
    std::wstring program = ProgramName(process);
    CloseHandle(process);
    if (machine != kOwnMachine) {
        // This DLL cannot be loaded there; the other host serves it.
        NoteForeign(processId, started,
                    program + L" (process " + Number(processId) + L") is a " + MachineName(machine) +
                        L" program: this " + MachineName(kOwnMachine) + L" host cannot serve it" +
                        (machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64
                             ? L", the " + MachineName(machine) + L" host does; "
                             : L"; ") +
                        served);
        return;
    }
    HookThread(window, thread, name, program);
}

void CALLBACK FocusEvent(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) { OnFocus(window); }

// Lets go of threads that ended, and of threads whose focus has been away
// from every edit control for kIdleMs.
void CALLBACK Sweep(HWND, UINT, UINT_PTR, DWORD) {
    DWORD now = GetTickCount();
    for (size_t i = g_hooks.size(); i-- > 0;) {
        ThreadHook& entry = g_hooks[i];
        if (Ended(entry.handle)) {
            Drop(i, L": the thread ended.");
            continue;
        }
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        wchar_t name[64];
        if (GetGUIThreadInfo(entry.thread, &info) && info.hwndFocus && IsServedClass(info.hwndFocus, name))
            entry.lastEditFocus = now;
        else if (now - entry.lastEditFocus >= kIdleMs)
            Drop(i, L": its focus has left every edit control.");
    }
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(0, &info)) OnFocus(info.hwndFocus);
}

}  // namespace

bool StartFocusHooks(HookThreadProc hookThread) {
    g_hookThread = hookThread;
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

size_t HookedThreadCount() { return g_hooks.size(); }
