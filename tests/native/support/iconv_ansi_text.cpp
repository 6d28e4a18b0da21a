// The platform's conversions between the ANSI code page and UTF-16, done
// with iconv, for native programs that link the module's text work.
#include <iconv.h>
#include <string.h>

#include <string>

#include "module/ansi_text.h"
#include "module/working_code_page.h"
#include "support/fake_platform.h"

namespace {
std::string g_codePageName = "CP932";
}  // namespace

void SetAnsiCodePageName(const char* name) { g_codePageName = name; }
static std::string CodePageName() { return WorkCodePage() ? "CP" + std::to_string(WorkCodePage()) : g_codePageName; }

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    memset(out, 0, sizeof(uint16_t) * capacity);
    iconv_t cd = iconv_open("UTF-16LE", CodePageName().c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    char* in = const_cast<char*>(text);
    size_t inLeft = strlen(text);
    char* o = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(uint16_t) * (capacity - 1);
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
}

// As the platform converts: 0 for a character the code page lacks, or whose
// bytes do not convert back to it.
int Utf16ToAnsiExact(const uint16_t* units, int count, char* out, int room) {
    if (count <= 0 || count > ANSI_EXACT_UNITS) return 0;
    iconv_t cd = iconv_open(CodePageName().c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* in = reinterpret_cast<char*>(const_cast<uint16_t*>(units));
    size_t inLeft = sizeof(uint16_t) * count;
    char* o = out;
    size_t outLeft = size_t(room);
    size_t done = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || inLeft != 0) return 0;
    int n = room - static_cast<int>(outLeft);
    uint16_t back[ANSI_EXACT_UNITS + 1];
    std::string bytes(out, size_t(n));
    AnsiToUtf16(bytes.c_str(), back, ANSI_EXACT_UNITS + 1);
    return memcmp(back, units, sizeof(uint16_t) * count) == 0 && back[count] == 0 ? n : 0;
}
