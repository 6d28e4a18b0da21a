#include "host_lines.h"

#include "reconvhost_strings.h"

void HostLine(DWORD kind, const std::wstring& text, bool attach) {
    std::wstring line = (kind == STD_ERROR_HANDLE ? L"reconvhost: " : L"") + text + L"\n";
    HANDLE handle = GetStdHandle(kind);
    bool own = false;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        if (!attach || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
        handle = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return;
        own = true;
    }
    DWORD mode, written;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
    } else {
        int length = static_cast<int>(line.size());
        int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), length, nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            std::string ansi(static_cast<size_t>(size), '\0');
            WideCharToMultiByte(CP_ACP, 0, line.c_str(), length, &ansi[0], size, nullptr, nullptr);
            WriteFile(handle, ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
        }
    }
    if (own) CloseHandle(handle);
}

std::wstring SystemMessage(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::wstring result = text;
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return ToolString(kSystemError, {std::to_wstring(error)}) + (result.empty() ? L"" : L": " + result);
}
