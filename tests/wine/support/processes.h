// Helpers for test programs that start other programs and wait for them.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running program, with its trailing backslash: the test
// programs, the peers and RODAVOZI.DLL lie side by side.
std::string ExeDir();

// Waits for `handle` while handling this thread's messages (sent ones, such
// as trace lines from another process, included); false on time-out.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);
