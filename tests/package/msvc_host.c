/* A host as Visual Studio builds one: MSVC's conventions, no C runtime, its own
 * declarations, linked against dist/<arch>/RODAVOZI.lib. Exit code: a bit per failed check. */
typedef __INTPTR_TYPE__ LPARAM;
typedef int(__stdcall *TextSource)(void *window, int request, unsigned range, char *buffer);
__declspec(dllimport) int __stdcall InitReconvertEdit(int reserved);
__declspec(dllimport) int __stdcall EndReconvertEdit(void);
__declspec(dllimport) int __stdcall IsReconvertMsg(void *window, unsigned message, __UINTPTR_TYPE__ wparam,
                                                   LPARAM lparam, LPARAM *answer, TextSource source);
__declspec(dllimport) void *__stdcall HookReconvertThread(unsigned long thread);

static int __stdcall Source(void *window, int request, unsigned range, char *buffer) {
    return (void)window, (void)request, (void)range, (void)buffer, -1;
}

unsigned long __stdcall HostMain(void *peb) {
    LPARAM answer = 0;
    unsigned long failed = EndReconvertEdit() != 0;  /* no hook yet */
    (void)peb;
    if (IsReconvertMsg(0, 0x288 /* WM_IME_REQUEST */, 4 /* IMR_RECONVERTSTRING */, 0, &answer, Source) != 1 ||
        answer != 160)
        failed |= 2;  /* a size query */
    if (InitReconvertEdit(0) != 1) failed |= 4;
    if (EndReconvertEdit() == 0) failed |= 8;
    if (HookReconvertThread(0) != 0) failed |= 16;  /* thread 0 is refused */
    return failed;
}
