// A trace viewer inside the test process: a top-level "VeskDebugWClass"
// window that keeps every WM_COPYDATA payload it receives. Create it before
// the DLL is loaded, since the DLL looks the viewer up only when it attaches.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TraceLine {
    std::string text;      // the payload up to its first zero byte
    DWORD cbData;          // as sent
    ULONG_PTR dwData;      // as sent
    bool terminated;       // the last byte of the payload is zero
};

HWND CreateTraceWindow();
void DestroyTraceWindow();
const std::vector<TraceLine>& TraceLines();
std::vector<std::string> TraceTexts();
void ClearTraceLines();
