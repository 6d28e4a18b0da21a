// The platform seams as the module meets them in a program with no trace
// viewer open: a trace line costs a test and a return. The ANSI conversion
// is the system's work, not the module's; it is here only so that the
// record builder links (the benchmarks fill ANSI records).
#include <iconv.h>
#include <string.h>

#include "module/ansi_text.h"
#include "module/trace.h"

void TraceMessage(const char*, ...) {}

int FindTraceWindow(void) { return 1; }

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    memset(out, 0, sizeof(uint16_t) * capacity);
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    char* in = const_cast<char*>(text);
    size_t inLeft = strlen(text);
    char* o = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(uint16_t) * (capacity - 1);
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
}
