// This process's per-window subclass records, for tests that link the
// module's internals in.
#pragma once

#include "hook/subclass_record.h"

// How many windows the records hold.
inline int RecordCount() {
    int n = 0;
    for (const LOCALSUBCLASS& record : LocalSubclasses)
        if (record.Window != nullptr) ++n;
    return n;
}
