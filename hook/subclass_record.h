// The subclass record of this process: the one window whose procedure this
// process replaced with ReconvertEditProc, and what it had before.
//
// SharedState keeps the system-wide record (SubclassedWindow, lpfnoldedit,
// SubclassedUnicode), but a procedure address means something only in the
// process that read it. So a process calls and installs only the previous
// procedure that it recorded itself, here; lpfnoldedit is kept up to date for
// the shared record's sake and is never called or installed.
#pragma once

#include "module/platform.h"

typedef struct LOCALSUBCLASS {
    HWND Window;           // the window this process subclassed; 0 when none
    WNDPROC PreviousProc;  // its procedure from before
    BOOL Unicode;          // installed with the W call: messages arrive, and go on, in W form
} LOCALSUBCLASS;

extern LOCALSUBCLASS LocalSubclass;

// The window's procedure as GetWindowLongPtrA reports it.
WNDPROC GetWindowProcedure(HWND window);

// Installs `procedure` with SetWindowLongPtrW when `unicode`, else with
// SetWindowLongPtrA.
void SetWindowProcedure(HWND window, WNDPROC procedure, BOOL unicode);

// Empties the shared record: lpfnoldedit, SubclassedWindow, SubclassedUnicode.
void ClearSharedSubclass(void);

// Puts the previous procedure back on the window of the local record, if
// there is one, and empties the local record.
void GiveBackLocalWindow(void);

// Passes a message on to the recorded previous procedure, in the W form when
// the window was subclassed with the W call.
LRESULT CallPreviousProcedure(const LOCALSUBCLASS* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
