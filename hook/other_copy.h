// Other copies of the module in this process: two hosts from two folders (a
// program that ships its own copy beside the resident host, or an older
// release beside a newer one) both hook every program. Only one copy serves
// a window: one that subclassed over another's procedure would make each the
// other's previous procedure, a chain that loops.
#pragma once

#include "module/platform.h"

// Whether another copy serves `window`, a window this copy holds no record
// of: it carries a mark (this copy's marks are only on windows it has
// records of) and runs a procedure other than its class's own, or its
// procedure lies in another module that exports the host's functions.
bool ServedByAnotherCopy(HWND window);
