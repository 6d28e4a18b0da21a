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

// A property of the host window: how the host hooks, for rodacheck's report.
#define RECONVHOST_MODE_PROP L"RODAVOZI.mode"
#define RECONVHOST_MODE_DESKTOP reinterpret_cast<HANDLE>(1)
#define RECONVHOST_MODE_FOCUS reinterpret_cast<HANDLE>(2)

// Posted by "reconvhost --stop": remove the hook and exit.
#define RECONVHOST_STOP_MESSAGE (WM_APP + 1)
// The notification icon's callback message.
#define RECONVHOST_ICON_MESSAGE (WM_APP + 2)
// Sent to a host's window: how many threads it has hooked now (its own,
// not its companion's); 0 with the desktop-wide hook.
#define RECONVHOST_COUNT_MESSAGE (WM_APP + 3)
// Sent with a window handle as wParam: the host sends that window the text
// of its icon's menu as it would show it now (WM_COPYDATA, UTF-16, one item
// a line, dwData this message), for screen readers' helpers and tests.
#define RECONVHOST_MENU_TEXT_MESSAGE (WM_APP + 4)
// WM_COMMAND ids of the icon's menu.
#define RECONVHOST_CMD_EXIT 1001
#define RECONVHOST_CMD_SIGN_IN 1002
#define RECONVHOST_CMD_TRACE_VIEWER 1003

// "Start at sign-in": this value under the user's Run key holds the host's
// command line.
#define RECONVHOST_RUN_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RECONVHOST_RUN_VALUE L"RODAVOZI reconvhost"

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
