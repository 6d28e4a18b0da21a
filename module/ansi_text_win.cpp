#include <string.h>

#include "module/ansi_text.h"
#include "module/platform.h"

void AnsiToUtf16(const char* text, uint16_t* out, int capacity) {
    memset(out, 0, sizeof(uint16_t) * capacity);
    MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out), capacity);
}

int Utf16CharToAnsi(const uint16_t* units, int count, char* out) {
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(units), count, out, ANSI_CHAR_ROOM,
                               nullptr, nullptr);
}
