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

static int ExactIn(UINT codePage, const uint16_t* units, int count, char* out, int room) {
    if (count <= 0 || count > ANSI_EXACT_UNITS) return 0;
    BOOL usedDefault = FALSE;
    BOOL* askDefault = codePage == CP_UTF8 ? nullptr : &usedDefault;  // UTF-8 takes no such question
    int n = WideCharToMultiByte(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS,
                                reinterpret_cast<const wchar_t*>(units), count, out, room, nullptr, askDefault);
    if (n <= 0 || usedDefault) return 0;
    // The round trip decides, whatever the platform's tables do with the flag.
    wchar_t back[ANSI_EXACT_UNITS];
    int m = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, out, n, back, ANSI_EXACT_UNITS);
    if (m != count || memcmp(back, units, sizeof(uint16_t) * count) != 0) return 0;
    return n;
}

int Utf16ToAnsiExact(const uint16_t* units, int count, char* out, int room) {
    return ExactIn(CodePage(), units, count, out, room);
}

int AnsiCodePageBytes(const uint16_t* units, int count) {
    char bytes[ANSI_CHAR_ROOM];
    int n = ExactIn(GetACP(), units, count, bytes, ANSI_CHAR_ROOM);
    return n > 0 ? n : 1;
}

bool AnsiControlCouldHold(const char* text) {
    if (GetACP() == CP_UTF8) return false;
    uint16_t wide[ANSI_EXACT_UNITS];
    AnsiToUtf16(text, wide, ANSI_EXACT_UNITS);
    bool beyondAscii = false;
    for (int i = 0; wide[i] != 0; ++i) {
        if (wide[i] < 0x80) continue;
        int width = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF ? 2 : 1;
        char bytes[ANSI_CHAR_ROOM];
        if (ExactIn(GetACP(), wide + i, width, bytes, ANSI_CHAR_ROOM) == 0) return false;
        beyondAscii = true;
        i += width - 1;
    }
    return beyondAscii;
}

int AnsiLength(const uint16_t* units, int count) {
    if (count <= 0) return 0;
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(units), count, nullptr, 0, nullptr,
                               nullptr);
}
