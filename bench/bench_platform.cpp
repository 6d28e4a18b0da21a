// The platform seams as the module meets them in a program with no trace
// viewer open: a trace line costs a test and a return. The ANSI conversion
// (iconv, from the native tests' support) is the system's work, not the
// module's; it is linked only so that the record builder links.
#include "module/trace.h"
#include "module/window_form.h"

void TraceMessage(const char*, ...) {}

int FindTraceWindow(void) { return 1; }

// One thread with ANSI windows, as in the benchmarks' single thread.
uint32_t CurrentThreadId(void) { return 4; }
bool IsUnicodeWindow(HWND) { return false; }
