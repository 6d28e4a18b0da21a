#include "platform_facts.h"

#include <windows.h>

#include "reconvhost_ids.h"
#include "report.h"

namespace rodacheck {

namespace {

template <class T>
T NtdllEntry(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// GetVersionEx reports what the program's manifest claims; ntdll tells the truth.
std::string WindowsVersion() {
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    auto getVersion = NtdllEntry<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>("RtlGetVersion");
    if (!getVersion || getVersion(&info) != 0) return "unknown";
    return Format("%lu.%lu build %lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

bool SystemIs64Bit() {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 || info.wProcessorArchitecture == 12;  // ARM64
}

// Wine's version when the process runs under Wine, else empty.
std::string WineVersion() {
    auto version = NtdllEntry<const char*(CDECL*)(void)>("wine_get_version");
    return version ? version() : std::string();
}

}  // namespace

const wchar_t* OwnArch() { return RECONVHOST_ARCH; }

bool HostRunning(const wchar_t* arch) {
    std::wstring mutexName = std::wstring(RECONVHOST_MUTEX_PREFIX) + arch;
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str());
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    std::wstring windowClass = std::wstring(RECONVHOST_WINDOW_CLASS_PREFIX) + arch;
    return FindWindowW(windowClass.c_str(), nullptr) != nullptr;
}

std::vector<std::string> PlatformFacts() {
    std::vector<std::string> lines;
    std::string wine = WineVersion();
    lines.push_back("Windows version: " + WindowsVersion() + (wine.empty() ? "" : " (under Wine " + wine + ")"));
    lines.push_back(Format("bitness: this process %d-bit, the system %d-bit", int(sizeof(void*) * 8),
                           SystemIs64Bit() ? 64 : 32));
    CPINFOEXW info = {};
    std::string name;
    if (GetCPInfoExW(CP_ACP, 0, &info)) name = ToUtf8(info.CodePageName);
    lines.push_back(Format("ANSI code page: %u (%s) %s", GetACP(), name.c_str(),
                           info.MaxCharSize > 1 ? "with double-byte characters" : "without double-byte characters"));
    lines.push_back(std::string("reconvhost (x86) running: ") + (HostRunning(L"x86") ? "yes" : "no") +
                    "; reconvhost (x64) running: " + (HostRunning(L"x64") ? "yes" : "no"));
    return lines;
}

}  // namespace rodacheck
