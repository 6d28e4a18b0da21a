// Lines from the host to its standard output and error.
#pragma once

#include <windows.h>

#include <string>

// Writes `text` and a line break to standard output (STD_OUTPUT_HANDLE) or
// standard error (STD_ERROR_HANDLE, after "reconvhost: "), as UTF-16 to a
// console and in the ANSI code page to a file or pipe. Without that handle,
// with `attach` it writes to the console of the program that started the host
// (a window program gets none of its own); without, nothing.
void HostLine(DWORD kind, const std::wstring& text, bool attach = false);

// "error N: the system's text for it", in the user's language.
std::wstring SystemMessage(DWORD error);
