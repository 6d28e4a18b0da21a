/* Calls the four exports of RODAVOZI.DLL through rodavozi.h and the import
 * library. Prints one line per check; exits 0 when every check passed. */
#include <stdio.h>

#include <windows.h>
#include <imm.h>

#include "rodavozi.h"

static int failures;

static void check(int ok, const char* what) {
    printf("%s %s\n", ok ? "PASS" : "FAIL", what);
    if (!ok) ++failures;
}

static int CALLBACK Source(HWND window, int request, UINT range, char* buffer) {
    (void)window; (void)request; (void)range;
    if (buffer != NULL) buffer[0] = '\0';
    return -1;
}

int main(void) {
    LRESULT answer = -7;
    BOOL ended;

    check(EndReconvertEdit() == 0, "EndReconvertEdit without a hook returns 0");

    check(IsReconvertMsg(NULL, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0, &answer, Source) == 1,
          "IsReconvertMsg takes WM_IME_REQUEST/IMR_RECONVERTSTRING");
    check(answer == 160, "the size query answers 160");

    answer = -7;
    check(IsReconvertMsg(NULL, WM_PAINT, 0, 0, &answer, Source) == 0 && answer == -7,
          "IsReconvertMsg passes other messages on, answer untouched");

    check(InitReconvertEdit(0) == 1, "InitReconvertEdit installs the hook");
    ended = EndReconvertEdit();
    check(ended != 0, "EndReconvertEdit removes it");
    check(EndReconvertEdit() == 0, "a second EndReconvertEdit returns 0");
    check(HookReconvertThread(0) == NULL, "HookReconvertThread refuses thread 0");

    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
