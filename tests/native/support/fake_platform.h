// Native stand-ins for the trace channel and the ANSI conversion.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct HWND__;

// Every line TraceMessage produced since the last ClearTraces().
const std::vector<std::string>& Traces();
void ClearTraces();

// The iconv name of the code page whose text AnsiToUtf16 converts ("CP932").
void SetAnsiCodePageName(const char* name);

// Selects code page `codePage` for the byte classes and the conversion.
void UseCodePage(unsigned int codePage);

// What IsUnicodeWindow answers for every window (false unless set).
void SetUnicodeWindows(bool unicode);
// What CurrentThreadId answers (4 unless set).
void SetCurrentThreadId(uint32_t id);
// Windows WindowOfThread finds gone: none unless set.
void SetGoneWindow(HWND__* window);
