#include "sign_in.h"

#include "reconvhost_ids.h"

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

}  // namespace

bool StartsAtSignIn() {
    wchar_t value[MAX_PATH * 3];
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, RECONVHOST_RUN_KEY, RECONVHOST_RUN_VALUE, RRF_RT_REG_SZ, &type, value,
                     &size) != ERROR_SUCCESS)
        return false;
    // The program is the quoted path at the start; another copy of the host
    // (another folder) is not this one.
    std::wstring command = value;
    std::wstring quoted = L"\"" + OwnPath() + L"\"";
    return command.size() >= quoted.size() &&
           CompareStringOrdinal(command.c_str(), static_cast<int>(quoted.size()), quoted.c_str(),
                                static_cast<int>(quoted.size()), TRUE) == CSTR_EQUAL;
}

LONG SetStartAtSignIn(bool start, const std::wstring& arguments) {
    HKEY key;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, RECONVHOST_RUN_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (start) {
        std::wstring command = L"\"" + OwnPath() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        result = RegSetValueExW(key, RECONVHOST_RUN_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        result = RegDeleteValueW(key, RECONVHOST_RUN_VALUE);
        if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return result;
}
