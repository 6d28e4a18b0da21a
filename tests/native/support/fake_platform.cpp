#include "support/fake_platform.h"

#include <iconv.h>
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

void SetUnicodeWindows(bool unicode) { g_unicodeWindows = unicode; }
void SetCurrentThreadId(uint32_t id) { g_threadId = id; }
bool IsUnicodeWindow(HWND) { return g_unicodeWindows; }
uint32_t CurrentThreadId(void) { return g_threadId; }

// As the platform converts: a character the code page lacks becomes its
// default character, '?'.
int Utf16CharToAnsi(const uint16_t* units, int count, char* out) {
    iconv_t cd = iconv_open(g_codePageName.c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* in = reinterpret_cast<char*>(const_cast<uint16_t*>(units));
    size_t inLeft = sizeof(uint16_t) * count;
    char* o = out;
    size_t outLeft = ANSI_CHAR_ROOM;
    size_t done = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || inLeft != 0) {
        out[0] = '?';
        return 1;
    }
    return static_cast<int>(ANSI_CHAR_ROOM - outLeft);
}
