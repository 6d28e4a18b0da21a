#include "reconvert/units_evidence.h"

int DecideUnits(const UNITSEVIDENCE* e, bool* decisive) {
    *decisive = false;
    if (e->Bytes != e->Utf16 && e->ControlLength >= 0) {
        if (e->ControlLength == e->Bytes) *decisive = true;
        if (e->ControlLength == e->Utf16) *decisive = true;
        if (*decisive) return e->ControlLength == e->Bytes ? UNITS_BYTES : UNITS_UTF16;
    }
    if (e->CreatedForm != UNITS_UNKNOWN) return e->CreatedForm;
    if (e->ClassForm != UNITS_UNKNOWN) return e->ClassForm;
    return e->WindowForm;
}
