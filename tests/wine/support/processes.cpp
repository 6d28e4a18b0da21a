#include "support/processes.h"

#include <vector>

bool WaitPumping(HANDLE handle, DWORD timeoutMs) { return WaitPumping(1, &handle, timeoutMs) == 0; }

DWORD WaitPumping(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return count;
        DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + count) return r - WAIT_OBJECT_0;
        if (r != WAIT_OBJECT_0 + count) return count;
        imeside::PumpMessages();
    }
}

namespace {

HANDLE OpenInheritable(const std::wstring& path) {
    if (path.empty()) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& stdoutPath,
                         const std::wstring& stderrPath) {
    HANDLE out = OpenInheritable(stdoutPath);
    HANDLE err = OpenInheritable(stderrPath);
    bool started = Start(exe, args, out, err);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    return started;
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& args, HANDLE out, HANDLE err) {
    Kill();
    std::wstring command = L"\"" + exe + L"\" " + args;
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    BOOL redirect = out != INVALID_HANDLE_VALUE || err != INVALID_HANDLE_VALUE;
    if (redirect) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out != INVALID_HANDLE_VALUE ? out : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = err != INVALID_HANDLE_VALUE ? err : GetStdHandle(STD_ERROR_HANDLE);
    }
    BOOL started = CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, redirect, 0, nullptr, nullptr,
                                  &startup, &info_);
    if (!started) info_ = {};
    return started != FALSE;
}

bool ChildProcess::WaitExit(DWORD timeoutMs, DWORD* code, bool pumping) {
    if (info_.hProcess == nullptr) return false;
    if (pumping ? !WaitPumping(info_.hProcess, timeoutMs)
                : WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(info_.hProcess, code);
    return true;
}

bool ChildProcess::Running() const {
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    if (info_.hProcess == nullptr) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 255);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
    info_ = {};
}

long RunToExit(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs, std::string* errors) {
    std::wstring errorPath;
    if (errors) errorPath = FreshFolder(L"stderr") + L"stderr.txt";
    ChildProcess child;
    if (!child.Start(exe, args, L"", errorPath)) return -2;
    DWORD code = 0;
    bool ended = child.WaitExit(timeoutMs, &code);
    child.Kill();
    if (errors) {
        *errors = ReadBytes(errorPath);
        RemoveFolder(errorPath.substr(0, errorPath.find_last_of(L'\\') + 1));
    }
    return ended ? static_cast<long>(code) : -1;
}

std::wstring TestFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring FreshFolder(const wchar_t* name) {
    static unsigned counter;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"rodavozi-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter) + L"-" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[256];
    if (owner == search->processId && GetClassNameW(window, name, 256) && lstrcmpW(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs) {
    WindowSearch search = {processId, className, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}
