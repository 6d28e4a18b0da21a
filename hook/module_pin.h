// Keeping the module mapped while windows of the process may run its code.
#pragma once

// Pins the module in the calling process: from the first window this process
// subclasses until the process ends, unloading the module (the hook removed,
// the host gone, FreeLibrary to no reference) leaves it mapped, so a window
// that still runs ReconvertEditProc, directly or under a procedure installed
// after it, never calls into unmapped memory. False if the pin could not be
// taken; the window must then not be subclassed.
bool KeepModuleMapped(void);
