// Stands in for RODAVOZI.DLL in a host's folder: its hook is always refused,
// as when the system will not install it.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI InitReconvertEdit(DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI EndReconvertEdit(void) { return 0; }
