#include "trace_code_page.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

void LoadTraceCodePage(unsigned int codePage, TraceCodePage* out) {
    *out = TraceCodePage();
    CPINFO info;
    if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 2) return;
    for (int range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range] != 0; range += 2)
        for (int byte = info.LeadByte[range]; byte <= info.LeadByte[range + 1]; ++byte) out->lead[byte] = true;
    // Never a control byte or DEL, whatever the code page tables say.
    for (int trail = 0x40; trail <= 0xFF; ++trail) {
        for (int lead = 0x81; trail != 0x7F && lead <= 0xFE && !out->trail[trail]; ++lead) {
            char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            wchar_t wide[2];
            out->trail[trail] = out->lead[lead] && MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1;
        }
    }
}

std::string InAnsiCodePage(const std::string& line, unsigned int from) {
    int units = MultiByteToWideChar(from, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(units > 0 ? units : 0, L' ');
    if (units > 0) MultiByteToWideChar(from, 0, line.data(), static_cast<int>(line.size()), &wide[0], units);
    std::string out;
    for (size_t i = 0; i < wide.size();) {
        int width = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        char bytes[8];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide[i], width, bytes, sizeof bytes, nullptr,
                                    &usedDefault);
        if (n > 0 && !usedDefault) {
            out.append(bytes, static_cast<size_t>(n));
        } else {
            unsigned long point = width == 2 ? 0x10000 + ((wide[i] - 0xD800) << 10) + (wide[i + 1] - 0xDC00) : wide[i];
            char escape[16];
            snprintf(escape, sizeof escape, "\\u{%lX}", point);
            out += escape;
        }
        i += static_cast<size_t>(width);
    }
    return out;
}

std::wstring ShowEscapedCharacters(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\') {
            out += L"\\\\";
            ++i;
            continue;
        }
        size_t close = text.find(L'}', i);
        wchar_t* end = nullptr;
        unsigned long point = 0;
        if (text.compare(i, 3, L"\\u{") == 0 && close != std::wstring::npos && close - i <= 10)
            point = wcstoul(text.c_str() + i + 3, &end, 16);
        if (end == nullptr || end != text.c_str() + close || point == 0 || point > 0x10FFFF) {
            out += text[i];
            continue;
        }
        if (point >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(point);
        }
        i = close;
    }
    return out;
}
