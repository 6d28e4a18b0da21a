// What rodacheck reports about the platform before it checks anything, as a
// bug report needs it: the Windows version and build (and Wine's version
// under Wine), the bitness of the process and of the system, the ANSI code
// page, the languages and locale, the date and time, its own elevation, and
// for each running host its program, mode and elevation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rodacheck {

const wchar_t* OwnArch();

// The fact lines.
std::vector<std::string> PlatformFacts();

// Whether the ANSI code page has double-byte characters (UTF-8 does not:
// its characters take up to four bytes, and the module offers none of them).
bool CodePageIsDoubleByte(UINT codePage);

// The file version of a module file ("1.2.3.4"), or "no version information".
std::string FileVersion(const std::wstring& path);

}  // namespace rodacheck
