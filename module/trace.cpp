#include "module/trace.h"

#include <stdarg.h>

#include "module/platform.h"
#include "module/state.h"

enum { TRACE_SEND_TIMEOUT_MS = 1000 };

int FindTraceWindow(void) {
    if (ProcessState.TraceWindow == nullptr)
        ProcessState.TraceWindow = FindWindowA("VeskDebugWClass", nullptr);
    return 1;
}

void TraceMessage(const char* format, ...) {
    if (ProcessState.TraceEnabled == 0 || ProcessState.TraceWindow == nullptr) return;
    va_list args;
    va_start(args, format);
    // wvsprintfA never writes more than 1,024 bytes, well inside TraceText.
    wvsprintfA(ProcessState.TraceText, format, args);
    va_end(args);
    COPYDATASTRUCT data;
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(lstrlenA(ProcessState.TraceText) + 1);
    data.lpData = ProcessState.TraceText;
    // The line is sent synchronously, but a viewer that stops answering must
    // not freeze every program the module runs in: a send that times out
    // drops the viewer for the rest of this process's life.
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(ProcessState.TraceWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_NORMAL, TRACE_SEND_TIMEOUT_MS, &ignored) &&
        GetLastError() == ERROR_TIMEOUT)
        ProcessState.TraceWindow = nullptr;
}
