/* A host built the way Visual Studio builds one: MSVC's conventions, no C
 * runtime, declarations of its own, linked with lld-link against
 * dist/<arch>/RODAVOZI.lib. The exit code has one bit per failed check. */
typedef void *HWND;
typedef unsigned int UINT;
#ifdef _WIN64
typedef unsigned __int64 WPARAM;
typedef __int64 LPARAM;
#else
typedef unsigned int WPARAM;
typedef long LPARAM;
#endif

__declspec(dllimport) int __stdcall InitReconvertEdit(int reserved);
__declspec(dllimport) int __stdcall EndReconvertEdit(void);
__declspec(dllimport) int __stdcall IsReconvertMsg(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                                   LPARAM *answer,
                                                   int(__stdcall *source)(HWND, int, UINT, char *));

static int __stdcall Source(HWND window, int request, UINT range, char *buffer) {
    (void)window, (void)request, (void)range, (void)buffer;
    return -1;
}

unsigned long __stdcall HostMain(void *peb) {
    LPARAM answer = 0;
    unsigned long failed = 0;
    (void)peb;
    if (EndReconvertEdit() != 0) failed |= 1;                          /* no hook yet */
    if (IsReconvertMsg(0, 0x288, 4, 0, &answer, Source) != 1 || answer != 160)
        failed |= 2;                                                   /* size query */
    if (InitReconvertEdit(0) != 1) failed |= 4;
    if (EndReconvertEdit() == 0) failed |= 8;
    return failed;
}
