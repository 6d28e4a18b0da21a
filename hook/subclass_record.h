// The subclass section of this process's window records (window_record.h):
// one for every window whose procedure this process replaced with
// ReconvertEditProc and that has not been given back or destroyed yet.
//
// SharedState keeps the system-wide mirror (SubclassedWindow, lpfnoldedit,
// SubclassedUnicode), but every process can write there, and a procedure
// address means something only in the process that read it. So a process
// decides, calls and installs only from its own records; the mirror is
// written for its own sake, here only, and never trusted.
//
// A window usually has the procedure given back when the next window is
// subclassed; it keeps its subclass longer only when another procedure was
// installed on top of ours (ours must then keep passing messages on). A
// record with a subclass is never taken over while its window may still call
// ours; when no record can be had, no further window is subclassed.
#pragma once

#include "module/platform.h"
#include "reconvert/window_record.h"

// The window property that marks a subclassed window with its record's mark.
// Properties go with their window, so a later window that gets the same
// handle value carries none. Every copy of the module uses this name, each
// with marks no other copy writes (its records' addresses), so a mark also
// tells a copy that another one serves the window.
#define SUBCLASS_MARK_PROPERTY "RodavoziSubclass"

// The window's procedure as GetWindowLongPtrA reports it.
WNDPROC GetWindowProcedure(HWND window);

// Installs `procedure` with SetWindowLongPtrW when `unicode`, else with
// SetWindowLongPtrA.
void SetWindowProcedure(HWND window, WNDPROC procedure, bool unicode);

// The mirror in SharedState of the window subclassed last: written here and
// nowhere else. MirrorSubclass(nullptr, nullptr, false) empties it.
void MirrorSubclass(HWND window, WNDPROC previous, bool unicode);
void ClearSharedSubclass(void);

// The record of `window` made on the calling thread with a subclass, or
// null. For a window procedure's own window: a handle that is receiving
// messages on its thread and has a record is the window the record was made
// for, since a window that takes over a destroyed one's handle gets its
// record only through FindMarkedSubclass.
WINDOWRECORD* FindLocalSubclass(HWND window);

// Drops the records of subclassed windows that were destroyed without this
// process seeing it: the handle is gone, or names another window now
// (another thread's, or one that carries no mark and does not run
// ReconvertEditProc; a mark another copy of the module wrote keeps the
// record).
void DropStaleSubclasses(void);

// FindLocalSubclass after DropStaleSubclasses, so that a reused handle finds
// no old record. For the hook, which meets any handle.
WINDOWRECORD* FindMarkedSubclass(HWND window);

// Records the subclass of `window`, a window of the calling thread, in its
// record (made if need be) before ReconvertEditProc is installed on it; null
// when no record can be had or the window cannot be marked.
WINDOWRECORD* AddLocalSubclass(HWND window, WNDPROC previous, bool unicode);

// Forgets the subclass (and the window's mark, while the window exists); the
// rest of the window's record stays.
void EndLocalSubclass(WINDOWRECORD* record);

// Forgets the whole record of a subclassed window: it is destroyed.
void DropLocalSubclass(WINDOWRECORD* record);

// Gives the window its previous procedure back and ends the subclass, but
// only while the window still runs ReconvertEditProc itself: true then.
// Otherwise a procedure installed after ours would be cut out of the chain;
// the subclass stays, and ours keeps passing the messages it is given on.
bool GiveBackLocalSubclass(WINDOWRECORD* record);

// Gives back every window of the calling thread that can be given back; the
// ones with a procedure on top of ours keep their subclass.
void GiveBackThreadSubclasses(void);

// Passes a message on to the recorded previous procedure (read from the
// record before, since the record may go while the message is handled), in
// the W form when the window was subclassed with the W call; a message that
// loops back here round after round gets default processing instead
// (pass_on_guard.h).
LRESULT CallPreviousProcedure(WNDPROC previous, bool unicode, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam);

// Default processing for a window that runs ReconvertEditProc without a
// record here, in the window's own form.
LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
