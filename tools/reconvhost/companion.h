// The 64-bit host's companion: the 32-bit host of the same installation,
// started beside it so that one program serves the programs of both
// architectures. It runs in the same mode, shows no icon of its own, and
// ends when told to or when the 64-bit host's process ends.
#pragma once

#include <windows.h>

#include <string>

enum class CompanionState {
    kNone,      // not started (the 32-bit host, or --no-companion)
    kRunning,
    kUnusable,  // missing, would not start, or ended too often: named in the menu
    kAlone,     // a 32-bit host started on its own serves the 32-bit programs
};

// Starts `path` with "--companion-of <this process>" and `arguments`.
// Problems go to standard error.
void StartCompanion(const std::wstring& path, const std::wstring& arguments);

// The running companion's process, for the host's wait; null when none.
HANDLE CompanionProcess();

// The companion's process has ended: started again a few times, unless the
// host is ending (StopCompanion) or the companion could not start at all.
void OnCompanionEnded();

// Asks the companion to end and waits up to `timeoutMs`; then ends it.
void StopCompanion(DWORD timeoutMs);

CompanionState GetCompanionState();
const std::wstring& CompanionPath();

// How many threads the running companion has hooked (0 when none answers).
size_t CompanionHookedThreads();
