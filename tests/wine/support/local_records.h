// This process's per-window subclass records, for tests that link the
// module's internals in.
#pragma once

#include "hook/subclass_record.h"

// How many windows the records hold a subclass of.
inline int RecordCount() {
    int n = 0;
    for (const WINDOWRECORD& record : WindowRecords)
        if (record.Window != nullptr && record.Subclassed) ++n;
    return n;
}
