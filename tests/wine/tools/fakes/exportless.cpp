// Stands in for RODAVOZI.DLL in a host's folder: some other DLL that
// exports nothing.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
