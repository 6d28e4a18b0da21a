// What other programs need to talk to a running reconvhost: its hidden
// window's class, the messages it takes, and its exit codes.
#pragma once

#include <windows.h>

#ifdef _WIN64
#define RECONVHOST_ARCH L"x64"
#else
#define RECONVHOST_ARCH L"x86"
#endif

// The hidden top-level window of a running host and the mutex it holds, one
// of each per architecture: the prefix and "x86" or "x64".
#define RECONVHOST_WINDOW_CLASS_PREFIX L"RodavoziReconvHost."
#define RECONVHOST_MUTEX_PREFIX L"Local\\RODAVOZI.reconvhost."
#define RECONVHOST_WINDOW_CLASS RECONVHOST_WINDOW_CLASS_PREFIX RECONVHOST_ARCH

// A property of the host window, set once the hook is in place (the window
// comes first): what a script starting a host waits for.
#define RECONVHOST_HOOKED_PROP L"RODAVOZI.hooked"

// Posted by "reconvhost --stop": remove the hook and exit.
#define RECONVHOST_STOP_MESSAGE (WM_APP + 1)
// The notification icon's callback message.
#define RECONVHOST_ICON_MESSAGE (WM_APP + 2)
// WM_COMMAND id of Exit in the icon's menu.
#define RECONVHOST_CMD_EXIT 1001

enum ReconvHostExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoDll = 2,
    kExitBadDll = 3,
    kExitHookRefused = 4,
    kExitAlreadyRunning = 5,
    kExitNotRunning = 6,
    kExitStopTimeout = 7,
    kExitNoWindow = 8,
    kExitStopDenied = 9,
    kExitEventHookRefused = 10,
};
