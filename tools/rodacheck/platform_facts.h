// What rodacheck reports about the platform before it checks anything: the
// Windows version (and Wine's, when it runs under Wine), the bitness of the
// process and of the system, the ANSI code page, and which hosts run.
#pragma once

#include <string>
#include <vector>

namespace rodacheck {

// Whether a reconvhost of the architecture ("x86" or "x64") runs in this
// session: it holds its mutex, or its hidden window exists.
bool HostRunning(const wchar_t* arch);
const wchar_t* OwnArch();

// The fact lines: Windows version, bitness, code page, the hosts.
std::vector<std::string> PlatformFacts();

}  // namespace rodacheck
