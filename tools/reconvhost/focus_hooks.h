// The focus-scoped mode, reconvhost's default: instead of one desktop-wide
// hook, the module's hook is installed only in the threads where an edit
// control has the focus, so every other thread of the desktop sends its
// messages at full speed.
#pragma once

#include <windows.h>

#include <cstddef>

// RODAVOZI.DLL's HookReconvertThread.
typedef HHOOK(WINAPI* HookThreadProc)(DWORD threadId);

// Starts watching the focus from this thread, which must take messages (the
// event hook reports through its queue). False, with the last-error code
// set, when the system refused the event hook; nothing is left installed.
// Lines on what was hooked and unhooked go to standard output, problems (a
// window of another architecture, a thread the system refused to hook) to
// standard error, each once and only when the host has that handle.
bool StartFocusHooks(HookThreadProc hookThread);

// Removes the event hook, the timer and every thread hook. Call it from the
// thread that started the watch; safe to call more than once.
void StopFocusHooks();

// How many threads are hooked now.
size_t HookedThreadCount();
