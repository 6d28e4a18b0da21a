#include "module/trace.h"

#include <stdarg.h>

#include "module/platform.h"
#include "module/state.h"
#include "module/working_code_page.h"

enum { TRACE_SEND_TIMEOUT_MS = 1000, TRACE_LINE_SIZE = 1025 };

int FindTraceWindow(void) {
    if (ProcessState.TraceWindow == nullptr)
        ProcessState.TraceWindow = FindWindowA("VeskDebugWClass", nullptr);
    return 1;
}

void TraceMessage(const char* format, ...) {
    if (ProcessState.TraceEnabled == 0 || ProcessState.TraceWindow == nullptr) return;
    // Each call formats into its own buffer on the stack: two threads of the
    // process tracing at once never mix their lines (or one window's text
    // into another thread's line). wvsprintfA writes at most 1,024 bytes and
    // the terminator.
    char line[TRACE_LINE_SIZE];
    va_list args;
    va_start(args, format);
    wvsprintfA(line, format, args);
    va_end(args);
    line[TRACE_LINE_SIZE - 1] = 0;
    COPYDATASTRUCT data;
    // 0: the text is in the process's ANSI code page; otherwise the code page
    // it is in (a Unicode window's text worked on in another one), so that
    // the viewer shows it whatever code page either side has.
    data.dwData = WorkCodePage();
    data.cbData = static_cast<DWORD>(lstrlenA(line) + 1);
    data.lpData = line;
    // The line is sent synchronously, but a viewer that stops answering must
    // not freeze every program the module runs in: a send that times out
    // drops the viewer for the rest of this process's life.
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(ProcessState.TraceWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_NORMAL, TRACE_SEND_TIMEOUT_MS, &ignored) &&
        GetLastError() == ERROR_TIMEOUT)
        ProcessState.TraceWindow = nullptr;
}
