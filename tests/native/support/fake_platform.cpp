#include "support/fake_platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"
#include "module/trace.h"
#include "module/window_form.h"

namespace {
bool g_unicodeWindows = false;
uint32_t g_threadId = 4;
std::vector<std::string> g_traces;
HWND g_gone;
}  // namespace

const std::vector<std::string>& Traces() { return g_traces; }
void ClearTraces() { g_traces.clear(); }

void UseCodePage(unsigned int codePage) {
    FillByteClassTable(codePage, nullptr);
    SetAnsiCodePageName(("CP" + std::to_string(codePage)).c_str());
}

void TraceMessage(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_traces.push_back(line);
}

int FindTraceWindow(void) { return 1; }

void SetUnicodeWindows(bool unicode) { g_unicodeWindows = unicode; }
void SetCurrentThreadId(uint32_t id) { g_threadId = id; }
bool IsUnicodeWindow(HWND) { return g_unicodeWindows; }
uint32_t CurrentThreadId(void) { return g_threadId; }
void SetGoneWindow(HWND window) { g_gone = window; }
bool WindowOfThread(HWND window, uint32_t) { return window != g_gone; }
