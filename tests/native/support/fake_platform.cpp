#include "support/fake_platform.h"

#include <iconv.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"
#include "module/trace.h"

namespace {
std::vector<std::string> g_traces;
std::string g_codePageName = "CP932";
}  // namespace

const std::vector<std::string>& Traces() { return g_traces; }
void ClearTraces() { g_traces.clear(); }
void SetAnsiCodePageName(const char* name) { g_codePageName = name; }

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

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    memset(out, 0, sizeof(uint16_t) * capacity);
    iconv_t cd = iconv_open("UTF-16LE", g_codePageName.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    char* in = const_cast<char*>(text);
    size_t inLeft = strlen(text);
    char* o = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(uint16_t) * (capacity - 1);
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
}
