// The subclass records of this process: one for every window whose procedure
// this process replaced with ReconvertEditProc and that has not been given
// back or destroyed yet.
//
// SharedState keeps the system-wide record (SubclassedWindow, lpfnoldedit,
// SubclassedUnicode), but every process can write there, and a procedure
// address means something only in the process that read it. So a process
// decides, calls and installs only from its own records, here; the shared
// record is kept up to date for its own sake and never trusted.
//
// A window usually has the procedure given back when the next window is
// subclassed; it keeps its record longer only when another procedure was
// installed on top of ours (ours must then keep passing messages on), so a
// few records suffice. When all are taken, no further window is subclassed:
// a record is never given up while its window may still call ours.
#pragma once

#include "module/platform.h"

enum { LOCAL_SUBCLASS_RECORDS = 16 };

// The window property that marks a subclassed window with its record's mark.
// Properties go with their window, so a later window that gets the same
// handle value carries none. Every copy of the module uses this name, each
// with marks no other copy writes (its records' addresses), so a mark also
// tells a copy that another one serves the window.
#define SUBCLASS_MARK_PROPERTY "RodavoziSubclass"

typedef struct LOCALSUBCLASS {
    HWND volatile Window;  // the window; 0 when the record is free
    WNDPROC PreviousProc;  // its procedure from before, as read with GetWindowLongPtrA
    BOOL Unicode;          // installed with the W call: messages arrive, and go on, in W form
    DWORD Thread;          // the thread that owns the window: the only one that uses the record
    HANDLE Mark;           // value of the window's mark property: this very window, not a reused handle
    LONG volatile Taken;   // claimed by a thread, filled or being filled
} LOCALSUBCLASS;

extern LOCALSUBCLASS LocalSubclasses[LOCAL_SUBCLASS_RECORDS];

// The window's procedure as GetWindowLongPtrA reports it.
WNDPROC GetWindowProcedure(HWND window);

// Installs `procedure` with SetWindowLongPtrW when `unicode`, else with
// SetWindowLongPtrA.
void SetWindowProcedure(HWND window, WNDPROC procedure, BOOL unicode);

// Empties the shared record: lpfnoldedit, SubclassedWindow, SubclassedUnicode.
void ClearSharedSubclass(void);

// The record of `window` made on the calling thread, or null. For a window
// procedure's own window: a handle that is receiving messages on its thread
// and has a record is the window the record was made for, since a window
// that takes over a destroyed one's handle gets its record only through
// FindMarkedSubclass.
LOCALSUBCLASS* FindLocalSubclass(HWND window);

// Drops the records of windows that were destroyed without this process
// seeing it: the handle is gone, or names another window now (another
// thread's, or one that carries no mark and does not run ReconvertEditProc;
// a mark another copy of the module wrote keeps the record).
void DropStaleSubclasses(void);

// FindLocalSubclass after DropStaleSubclasses, so that a reused handle finds
// no old record. For the hook, which meets any handle.
LOCALSUBCLASS* FindMarkedSubclass(HWND window);

// Records `window`, a window of the calling thread, before ReconvertEditProc
// is installed on it; null when every record is taken or the window cannot
// be marked.
LOCALSUBCLASS* AddLocalSubclass(HWND window, WNDPROC previous, BOOL unicode);

// Forgets the record (and the window's mark, while the window exists).
void DropLocalSubclass(LOCALSUBCLASS* record);

// Gives the window its previous procedure back and drops the record, but only
// while the window still runs ReconvertEditProc itself: true then. Otherwise
// a procedure installed after ours would be cut out of the chain; the record
// stays, and ours keeps passing the messages it is given on.
bool GiveBackLocalSubclass(LOCALSUBCLASS* record);

// Gives back every window of the calling thread that can be given back; the
// ones with a procedure on top of ours keep their records.
void GiveBackThreadSubclasses(void);

// Passes a message on to the recorded previous procedure, in the W form when
// the window was subclassed with the W call; a message that loops back here
// round after round gets default processing instead (pass_on_guard.h).
LRESULT CallPreviousProcedure(const LOCALSUBCLASS* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Default processing for a window that runs ReconvertEditProc without a
// record here, in the window's own form.
LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
