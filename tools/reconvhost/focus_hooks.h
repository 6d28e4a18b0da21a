// reconvhost --focus: instead of one desktop-wide hook, the module's hook is
// installed only in the threads where an edit control has the focus, so
// every other thread of the desktop sends its messages at full speed.
#pragma once

#include <windows.h>

// RODAVOZI.DLL's HookReconvertThread.
typedef HHOOK(WINAPI* HookThreadProc)(DWORD threadId);

// Starts watching the focus from this thread, which must take messages (the
// event hook reports through its queue). False, with the last-error code
// set, when the system refused the event hook; nothing is left installed.
// Lines on what was hooked go to standard output, problems (a window of the
// other architecture, a thread that ended before its hook) to standard
// error, each only when the host has that handle.
bool StartFocusHooks(HookThreadProc hookThread);

// Removes the event hook, the timer and every thread hook. Call it from the
// thread that started the watch; safe to call more than once.
void StopFocusHooks();
