#include <string.h>

#include "module/ansi_text.h"
#include "module/platform.h"
#include "module/working_code_page.h"

static UINT CodePage() {
    unsigned int codePage = WorkCodePage();
    return codePage == CODE_PAGE_ANSI ? CP_ACP : codePage;
}

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    memset(out, 0, sizeof(uint16_t) * capacity);
    MultiByteToWideChar(CodePage(), 0, text, -1, reinterpret_cast<wchar_t*>(out), capacity);
}

int Utf16ToAnsiExact(const uint16_t* units, int count, char* out, int room) {
    if (count <= 0 || count > ANSI_EXACT_UNITS) return 0;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(units), count, out,
                                room, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return 0;
    // The round trip decides, whatever the platform's tables do with the flag.
    wchar_t back[ANSI_EXACT_UNITS];
    int m = MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, out, n, back, ANSI_EXACT_UNITS);
    if (m != count || memcmp(back, units, sizeof(uint16_t) * count) != 0) return 0;
    return n;
}
