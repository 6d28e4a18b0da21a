// Helpers for test programs that start other programs and wait for them,
// every wait bounded.
#pragma once

#include <windows.h>

#include <string>

#include "ime_client.h"  // PumpMessages

using imeside::PumpMessages;

// Waits for `handle` while handling this thread's messages (sent ones, such
// as trace lines from another process, included); false on time-out.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);
// The same for the first of `count` handles: its index, or `count` on time-out.
DWORD WaitPumping(DWORD count, const HANDLE* handles, DWORD timeoutMs);

// A started program; ended with TerminateProcess when the test lets go of it
// while it still runs.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Kill(); }

    // Starts `exe` with `args`; standard output and error go to the given
    // files when their paths are not empty.
    bool Start(const std::wstring& exe, const std::wstring& args, const std::wstring& stdoutPath = L"",
               const std::wstring& stderrPath = L"");
    // The same with standard output on an inheritable handle of the caller's.
    bool Start(const std::wstring& exe, const std::wstring& args, HANDLE out, HANDLE err = INVALID_HANDLE_VALUE);
    // True when it exited within `timeoutMs`; its exit code in *code. With
    // `pumping`, this thread's messages (trace lines from the child among
    // them) are handled while it waits.
    bool WaitExit(DWORD timeoutMs, DWORD* code, bool pumping = false);
    bool Running() const;
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    void Kill();

private:
    PROCESS_INFORMATION info_ = {};
};

// Runs a program to its end: its exit code, or -1 when it had to be killed
// after `timeoutMs`. Its standard error lands in *errors when given.
long RunToExit(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs, std::string* errors = nullptr);

// Whether the process runs in code page 932 (ctest's ja_JP locale).
inline bool JapaneseCodePage() { return GetACP() == 932; }

// The folder of the test program, with a trailing backslash: the test
// programs, the peers, the tools and RODAVOZI.DLL lie side by side.
std::wstring TestFolder();
// An empty folder of its own under the temporary folder, trailing backslash.
std::wstring FreshFolder(const wchar_t* name);
// Deletes the files in `folder` (not below) and the folder itself.
void RemoveFolder(const std::wstring& folder);
std::string ReadBytes(const std::wstring& path);
// The top-level window of class `className` that process `processId` owns,
// waiting for it up to `timeoutMs`; null when none appeared.
HWND FindProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs);

// Polls `condition` every 20 ms until it holds or `timeoutMs` has passed.
template <class Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}
