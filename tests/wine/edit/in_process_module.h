// The module's internals linked into the test program, started as the DLL's
// entry point would start them, with the test's own trace viewer, and the
// "kvexedit" class registered.
#pragma once

#include <windows.h>

#include "support/processes.h"  // JapaneseCodePage

// A private desktop for the calling thread, byte classes of the ANSI code
// page, the four registered request messages, the trace viewer, "kvexedit". Call from every suite's SetUpTestSuite; only
// the first call does the work.
void StartModuleInProcess();
