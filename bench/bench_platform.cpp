// The platform seams as the module meets them in a program with no trace
// viewer open: a trace line costs a test and a return. The ANSI conversion is
// the system's work, not the module's: here it is two table look-ups per
// character (code page 932, tables made once with iconv), so that what the
// benchmarks time is the module's own work.
#include <iconv.h>
#include <string.h>

#include "module/ansi_text.h"
#include "module/trace.h"
#include "module/window_form.h"

namespace {

struct Tables {
    uint16_t toWide[65536];   // a byte (lead 0) or lead << 8 | trail -> its character
    uint16_t toAnsi[65536];   // a character -> what converts back to it exactly, 0 for none
    Tables() {
        iconv_t cd = iconv_open("UTF-16LE", "CP932");
        for (unsigned code = 1; code < 65536; ++code) {
            char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            char* from = code < 256 ? in + 1 : in;
            size_t inLeft = code < 256 ? 1 : 2, outLeft = 2;
            uint16_t wide = 0;
            char* to = reinterpret_cast<char*>(&wide);
            if (iconv(cd, &from, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0 && outLeft == 0) {
                toWide[code] = wide;
                if (toAnsi[wide] == 0) toAnsi[wide] = static_cast<uint16_t>(code);
            }
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        iconv_close(cd);
    }
};

const Tables& CodePage932() {
    static Tables* tables = new Tables;
    return *tables;
}

}  // namespace

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    const Tables& t = CodePage932();
    memset(out, 0, sizeof(uint16_t) * capacity);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(text);
    for (int o = 0; *b != 0 && o < capacity - 1; ++o) {
        unsigned code = *b++;
        if (t.toWide[code] == 0 && *b != 0) code = code << 8 | *b++;
        out[o] = t.toWide[code];
    }
}

int Utf16ToAnsiExact(const uint16_t* units, int count, char* out, int room) {
    const Tables& t = CodePage932();
    int n = 0;
    for (int i = 0; i < count; ++i) {
        unsigned code = t.toAnsi[units[i]];
        int width = code > 0xFF ? 2 : 1;
        if (code == 0 || n + width > room) return 0;
        if (width == 2) out[n++] = static_cast<char>(code >> 8);
        out[n++] = static_cast<char>(code & 0xFF);
    }
    return n;
}

void TraceMessage(const char*, ...) {}

int FindTraceWindow(void) { return 1; }

// One thread with ANSI windows, as in the benchmarks' single thread.
uint32_t CurrentThreadId(void) { return 4; }
bool IsUnicodeWindow(HWND) { return false; }
bool WindowOfThread(HWND, uint32_t) { return true; }
