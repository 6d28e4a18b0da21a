#include "companion.h"

#include "host_lines.h"
#include "reconvhost_ids.h"
#include "reconvhost_strings.h"

namespace {

const int kMaxRestarts = 3;

std::wstring g_path;
std::wstring g_arguments;
CompanionState g_state = CompanionState::kNone;
PROCESS_INFORMATION g_process;
int g_restarts;

// A companion that could not start: the same failure would follow again.
bool IsStartFailure(DWORD code) {
    return code == kExitNoDll || code == kExitBadDll || code == kExitHookRefused || code == kExitNoWindow ||
           code == kExitEventHookRefused;
}

// The standard handles of this host, as handles the companion inherits: its
// lines go where this host's go.
HANDLE Inheritable(DWORD kind) {
    HANDLE handle = GetStdHandle(kind), copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

bool Launch() {
    std::wstring command = L"\"" + g_path + L"\" --companion-of " + std::to_wstring(GetCurrentProcessId()) +
                           (g_arguments.empty() ? L"" : L" " + g_arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    bool started = CreateProcessW(g_path.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &g_process) != FALSE;
    DWORD error = GetLastError();
    if (startup.hStdOutput) CloseHandle(startup.hStdOutput);
    if (startup.hStdError) CloseHandle(startup.hStdError);
    if (!started) {
        g_state = CompanionState::kUnusable;
        HostLine(STD_ERROR_HANDLE,
                 ToolString(kCompanionNotStarted, {g_path, SystemMessage(error)}));
        return false;
    }
    CloseHandle(g_process.hThread);
    g_state = CompanionState::kRunning;
    // Like the lines on hooked threads, a line for scripts and logs.
    HostLine(STD_OUTPUT_HANDLE,
             L"started the 32-bit host " + g_path + L" (process " + std::to_wstring(g_process.dwProcessId) + L").");
    return true;
}

void Forget() {
    if (g_process.hProcess) CloseHandle(g_process.hProcess);
    g_process = {};
}

// The companion's window: the 32-bit host window of its process.
HWND CompanionWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, RECONVHOST_WINDOW_CLASS_PREFIX L"x86", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == g_process.dwProcessId) return window;
    }
    return nullptr;
}

}  // namespace

void StartCompanion(const std::wstring& path, const std::wstring& arguments) {
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    g_path = length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : path;
    g_arguments = arguments;
    g_restarts = 0;
    Launch();
}

HANDLE CompanionProcess() { return g_state == CompanionState::kRunning ? g_process.hProcess : nullptr; }

void OnCompanionEnded() {
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    Forget();
    const std::wstring exitCode = std::to_wstring(code);
    if (code == kExitAlreadyRunning) {
        g_state = CompanionState::kAlone;
        HostLine(STD_ERROR_HANDLE, ToolString(kCompanionAlone));
    } else if (IsStartFailure(code)) {
        g_state = CompanionState::kUnusable;
        HostLine(STD_ERROR_HANDLE, ToolString(kCompanionUnusable, {g_path, exitCode}));
    } else if (g_restarts >= kMaxRestarts) {
        g_state = CompanionState::kUnusable;
        HostLine(STD_ERROR_HANDLE, ToolString(kCompanionGaveUp, {exitCode, std::to_wstring(g_restarts)}));
    } else if (Launch()) {
        ++g_restarts;
        HostLine(STD_ERROR_HANDLE, ToolString(kCompanionRestarted, {exitCode, std::to_wstring(g_restarts),
                                                                    std::to_wstring(kMaxRestarts)}));
    }
}

void StopCompanion(DWORD timeoutMs) {
    if (g_state != CompanionState::kRunning) return;
    g_state = CompanionState::kNone;
    // One that is still starting has no window yet: look again while waiting.
    bool asked = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(g_process.hProcess, 50) == WAIT_TIMEOUT) {
        if (!asked) {
            HWND window = CompanionWindow();
            if (window) asked = PostMessageW(window, RECONVHOST_STOP_MESSAGE, 0, 0) != FALSE;
        }
        if (GetTickCount() - start >= timeoutMs) {
            TerminateProcess(g_process.hProcess, kExitStopTimeout);
            break;
        }
    }
    Forget();
}

CompanionState GetCompanionState() { return g_state; }

const std::wstring& CompanionPath() { return g_path; }

size_t CompanionHookedThreads() {
    HWND window = g_state == CompanionState::kRunning ? CompanionWindow() : nullptr;
    DWORD_PTR count = 0;
    if (window == nullptr ||
        !SendMessageTimeoutW(window, RECONVHOST_COUNT_MESSAGE, 0, 0, SMTO_ABORTIFHUNG, 500, &count))
        return 0;
    return count;
}
