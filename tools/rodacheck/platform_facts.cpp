#include "platform_facts.h"

#include <stdlib.h>

#include "reconvhost_ids.h"
#include "report.h"

namespace rodacheck {

namespace {

template <class T>
T NtdllEntry(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

std::wstring RegistryText(const wchar_t* name) {
    wchar_t text[128] = L"";
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name, RRF_RT_REG_SZ,
                     nullptr, text, &size) != ERROR_SUCCESS)
        return std::wstring();
    return text;
}

// GetVersionEx reports what the program's manifest claims; ntdll tells the
// truth. The update revision and the release name come from the registry.
std::string WindowsVersion() {
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    auto getVersion = NtdllEntry<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>("RtlGetVersion");
    if (!getVersion || getVersion(&info) != 0) return "unknown";
    std::string text = Format("%lu.%lu build %lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    DWORD revision = 0, size = sizeof revision;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"UBR", RRF_RT_REG_DWORD,
                     nullptr, &revision, &size) == ERROR_SUCCESS)
        text += Format(".%lu", revision);
    std::wstring product = RegistryText(L"ProductName"), release = RegistryText(L"DisplayVersion");
    if (!product.empty()) text += " (" + ToUtf8(product) + (release.empty() ? "" : " " + ToUtf8(release)) + ")";
    return text;
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

std::string LocaleName(LCID locale) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"";
    if (!LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0)) return Format("0x%04lx", locale);
    return ToUtf8(name) + Format(" (0x%04lx)", locale);
}

// "elevated", "not elevated", or why it cannot be told.
std::string Elevation(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return Format("unknown (error %lu)", GetLastError());
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != FALSE;
    CloseHandle(token);
    if (!known) return "unknown";
    return elevation.TokenIsElevated ? "elevated" : "not elevated";
}

// One running host of the architecture: its program, mode and elevation.
std::string HostFact(const wchar_t* arch) {
    std::wstring windowClass = std::wstring(RECONVHOST_WINDOW_CLASS_PREFIX) + arch;
    HWND window = FindWindowW(windowClass.c_str(), nullptr);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, (std::wstring(RECONVHOST_MUTEX_PREFIX) + arch).c_str());
    // A mutex that exists but may not be opened belongs to an elevated host.
    const bool mutexDenied = !mutex && GetLastError() == ERROR_ACCESS_DENIED;
    if (mutex) CloseHandle(mutex);
    std::string name = "reconvhost (" + ToUtf8(arch) + "): ";
    if (!window && !mutex && !mutexDenied) return name + "not running";
    if (!window) return name + "running, its window not found" + (mutexDenied ? " (elevated)" : "");
    const HANDLE mode = GetPropW(window, RECONVHOST_MODE_PROP);
    std::string text = name + "running, " +
                       (mode == RECONVHOST_MODE_FOCUS   ? "focus-scoped (the default)"
                        : mode == RECONVHOST_MODE_DESKTOP ? "desktop-wide hook (--desktop-wide)"
                                                          : "mode not told (an older host)");
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) return text + Format(", process %lu (elevated: it cannot be opened, error %lu)", id, GetLastError());
    wchar_t path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process, 0, path, &length)) text += ", " + ToUtf8(std::wstring(path, length));
    text += ", " + Elevation(process);
    CloseHandle(process);
    return text;
}

}  // namespace

const wchar_t* OwnArch() { return RECONVHOST_ARCH; }

bool CodePageIsDoubleByte(UINT codePage) {
    CPINFO info = {};
    return GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
}

std::string FileVersion(const std::wstring& path) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> data(size ? size : 1);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || length < sizeof *info)
        return "no version information";
    return Format("%lu.%lu.%lu.%lu", info->dwFileVersionMS >> 16, info->dwFileVersionMS & 0xFFFF,
                  info->dwFileVersionLS >> 16, info->dwFileVersionLS & 0xFFFF);
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
    const UINT acp = GetACP();
    lines.push_back(Format("ANSI code page (for non-Unicode programs): %u (%s) ", acp, name.c_str()) +
                    (acp == CP_UTF8 ? "UTF-8, not double-byte: \"Beta: Use Unicode UTF-8 for worldwide language "
                                      "support\" is on"
                     : CodePageIsDoubleByte(acp) ? "with double-byte characters"
                                                 : "without double-byte characters"));
    lines.push_back("languages: user interface " + LocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT)) +
                    "; system locale " + LocaleName(GetSystemDefaultLCID()) + "; user locale " +
                    LocaleName(GetUserDefaultLCID()));
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    const long bias = -(zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
    lines.push_back(Format("date and time: %04u-%02u-%02u %02u:%02u:%02u (UTC%c%02ld:%02ld)", now.wYear, now.wMonth,
                           now.wDay, now.wHour, now.wMinute, now.wSecond, bias < 0 ? '-' : '+', labs(bias) / 60,
                           labs(bias) % 60));
    lines.push_back("rodacheck runs " + Elevation(GetCurrentProcess()));
    lines.push_back(HostFact(L"x86") + "; " + HostFact(L"x64"));
    return lines;
}

}  // namespace rodacheck
