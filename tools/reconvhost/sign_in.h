// "Start at sign-in": the host's value under the user's Run key. The host
// keeps it; the library keeps no settings.
#pragma once

#include <windows.h>

#include <string>

// Whether the Run value is there and starts this very program.
bool StartsAtSignIn();

// Writes the Run value: this program's path, quoted, then `arguments`; or
// removes it. ERROR_SUCCESS or the registry's error.
LONG SetStartAtSignIn(bool start, const std::wstring& arguments);
