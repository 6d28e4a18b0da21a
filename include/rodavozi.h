/* RODAVOZI.DLL: reconversion and document feed for plain edit controls.
 *
 * A host loads the DLL and calls InitReconvertEdit once; from then on an IME's
 * reconversion and document-feed requests to windows of class "edit" or
 * "kvexedit" are answered from the control's text, selection and caret.
 * EndReconvertEdit removes the system-wide hook again. A host that prefers
 * to hook only the threads it chooses calls HookReconvertThread instead.
 *
 * A host may instead answer the requests in its own window procedure:
 *
 *     LRESULT answer;
 *     if (IsReconvertMsg(hwnd, msg, wParam, lParam, &answer, MyTextSource))
 *         return answer;
 *
 * where MyTextSource hands back text for TSR_GETTEXT and selects a range for
 * TSR_CONFIRM (see below). All text is in the process's ANSI code page; where
 * that code page has no double-byte characters (1252, 65001) a text source
 * has none to hand back, and nothing is offered (the hook still serves
 * Unicode edit windows there, in the code page of the input language).
 */
#ifndef RODAVOZI_H
#define RODAVOZI_H

#ifdef _WIN32
#include <windows.h>
#endif /* elsewhere the includer declares the Windows types first */

#ifdef __cplusplus
extern "C" {
#endif

/* Request codes passed to a text source. */
#define TSR_GETTEXT 10 /* write text into the buffer (at most 255 bytes and a zero);
                          return -1 when it is the selection, otherwise the caret's
                          byte offset in it */
#define TSR_CONFIRM 11 /* select the range packed in the third argument: bits 31..16
                          bytes from the range's start forward to the caret, bits
                          15..0 the range's length in bytes */

/* The text source: window, request code, packed range (TSR_CONFIRM) or 0,
 * a 256-byte buffer (TSR_GETTEXT) or NULL. */
typedef int(CALLBACK* TextSourceProc)(HWND window, int request, UINT range, char* buffer);

/* Answers an IME request for `window`. Returns 1 when the message was a request
 * that it answered (the window procedure then returns *answer and does not
 * pass the message on), 0 otherwise (*answer is left untouched). */
int WINAPI IsReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* answer, TextSourceProc source);

/* Installs the system-wide hook. The argument is ignored. Returns 1 when the
 * hook is installed, 0 when the system refused it. */
int WINAPI InitReconvertEdit(DWORD reserved);

/* Removes the hook. Returns 0 when none was installed, otherwise the result of
 * removing it (nonzero on success). */
BOOL WINAPI EndReconvertEdit(void);

/* Installs the same hook for one thread only, e.g. the thread whose edit
 * control has the focus; the DLL is then mapped only into that thread's
 * process. Returns the hook handle, which the host removes with
 * UnhookWindowsHookEx (EndReconvertEdit does not), or NULL when the system
 * refused it (the thread has ended, belongs to a process of the other
 * architecture, ...; GetLastError tells) or threadId is 0. The DLL keeps no
 * record of these hooks. */
HHOOK WINAPI HookReconvertThread(DWORD threadId);

#ifdef __cplusplus
}
#endif

#endif /* RODAVOZI_H */
