#include "reconvert/control_units.h"

#include <string.h>
#include <wchar.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "module/fault.h"
#include "module/window_form.h"
#include "reconvert/units_evidence.h"

bool IsSystemEditClass(HWND window) {
    char name[16];
    return GetClassNameA(window, name, sizeof name) != 0 && AsciiCaseCompare(name, "edit") == 0;
}

namespace {

bool InSomeModule(LONG_PTR address) {
    HMODULE module = nullptr;
    return address != 0 &&
           GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(address), &module);
}

// The form of a non-system class's own registered procedure: read in that
// form the procedure comes back itself, in the other a handle that converts,
// which lies in no module. The system's edit class has both forms.
int ClassForm(HWND window) {
    if (IsSystemEditClass(window)) return UNITS_UNKNOWN;
    bool ansi = InSomeModule(static_cast<LONG_PTR>(GetClassLongPtrA(window, GCLP_WNDPROC)));
    bool wide = InSomeModule(static_cast<LONG_PTR>(GetClassLongPtrW(window, GCLP_WNDPROC)));
    if (ansi == wide) return UNITS_UNKNOWN;
    return ansi ? UNITS_BYTES : UNITS_UTF16;
}

int CreatedForm(HWND window) {
    uintptr_t form = reinterpret_cast<uintptr_t>(GetPropA(window, CREATED_FORM_PROPERTY));
    return form == UNITS_BYTES || form == UNITS_UTF16 ? static_cast<int>(form) : UNITS_UNKNOWN;
}

// The evidence short of the text and the control's length.
UNITSEVIDENCE FormEvidence(HWND window) {
    UNITSEVIDENCE e = {-1, 0, 0, CreatedForm(window), ClassForm(window),
                       IsUnicodeWindow(window) ? UNITS_UTF16 : UNITS_BYTES};
    return e;
}

// The control's whole length in its own units: its last line's index plus
// that line's length (a multi-line control, wrapping or not), or the one
// line's length; -1 when its answers tell none. A control that does not
// count its lines is taken at its one line only where the text has no line
// break.
int64_t ControlLength(HWND window, bool lineBreaks) {
    LRESULT lines = SendMessageA(window, EM_GETLINECOUNT, 0, 0);
    if (lines < 1 && lineBreaks) return -1;
    LRESULT index = lines > 1 ? SendMessageA(window, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0) : 0;
    if (index < 0) return -1;
    LRESULT length = SendMessageA(window, EM_LINELENGTH, static_cast<WPARAM>(index), 0);
    return length < 0 ? -1 : int64_t(index) + int64_t(length);
}

// Whether one of the first few characters beyond ASCII of a UTF-16 text
// takes more than one byte in the process's ANSI code page, the one a
// byte-counting control counts in (not the code page a request may work in):
// a text of characters the code page lacks (one byte each) costs at most
// that many conversions.
enum { PROBED_CHARACTERS = 16 };
bool HoldsDoubleByte(const uint16_t* w, int length) {
    for (int i = 0, probed = 0; i < length && probed < PROBED_CHARACTERS; ++i) {
        if (w[i] < 0x80) continue;
        if (AnsiCodePageBytes(w + i, 1) > 1) return true;
        ++probed;
    }
    return false;
}

// The text's length in bytes and UTF-16 units, from the form it was read in,
// as far as the control's length `control` can match it: an ANSI text by
// walking its characters (each one UTF-16 unit). A UTF-16 text is converted
// whole (one count) only where the control reports more than its units, as
// a byte-counting one does; where it reports the units, a double-byte
// character among the first few tells the bytes differ (Bytes -1).
void MeasureText(const void* text, int length, bool wide, int64_t control, UNITSEVIDENCE* e) {
    e->Utf16 = e->Bytes = length;
    if (!wide) {
        const unsigned char* t = static_cast<const unsigned char*>(text);
        int64_t characters = 0;
        for (int i = 0; i < length; ++characters) i += IsLeadByte(t[i]) && i + 1 < length ? 2 : 1;
        e->Utf16 = characters;
        return;
    }
    const uint16_t* w = static_cast<const uint16_t*>(text);
    if (control == length && HoldsDoubleByte(w, length)) e->Bytes = -1;
    if (control > length) e->Bytes = AnsiLength(w, length);
}

bool HasLineBreak(const void* text, int length, bool wide) {
    if (!wide) return memchr(text, '\n', size_t(length)) != nullptr || memchr(text, '\r', size_t(length)) != nullptr;
    const uint16_t* w = static_cast<const uint16_t*>(text);
    for (int i = 0; i < length; ++i)
        if (w[i] == '\n' || w[i] == '\r') return true;
    return false;
}

}  // namespace

int ControlUnits(HWND window, bool* decided) {
    if (FAULT_BUILT_IN(WINDOW_FORM_UNITS)) return *decided = true, IsUnicodeWindow(window) ? UNITS_UTF16 : UNITS_BYTES;
    {
        HeldRecord record(window, CLAIM_EXISTING);
        *decided = record && record->Units != UNITS_UNKNOWN;
        if (*decided) return record->Units;
    }
    UNITSEVIDENCE e = FormEvidence(window);
    bool decisive;
    return DecideUnits(&e, &decisive);
}

int LearnUnits(HWND window, const void* text, int length, bool wide) {
    UNITSEVIDENCE e = FormEvidence(window);
    bool decisive = false, measure = true;
    {
        // The same text length as at the last measurement that told nothing:
        // not measured again, so that a text that cannot decide costs no
        // conversion at every request.
        HeldRecord record(window, CLAIM_FOR_WINDOW);
        if (record && record->UndecidedLength == length && record->UndecidedWide == wide) measure = false;
    }
    if (measure) {
        e.ControlLength = ControlLength(window, HasLineBreak(text, length, wide));
        MeasureText(text, length, wide, e.ControlLength, &e);
    }
    int units = DecideUnits(&e, &decisive);
    HeldRecord record(window, CLAIM_FOR_WINDOW);
    if (record && decisive) record->Units = units;
    if (record && !decisive) {
        record->UndecidedLength = length;
        record->UndecidedWide = wide;
    }
    return units;
}

LRESULT SendInForm(HWND window, bool wide, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsUnicodeWindow(window) == wide)
        return wide ? SendMessageW(window, message, wParam, lParam) : SendMessageA(window, message, wParam, lParam);
    WNDPROC own = reinterpret_cast<WNDPROC>(wide ? GetClassLongPtrW(window, GCLP_WNDPROC)
                                                 : GetClassLongPtrA(window, GCLP_WNDPROC));
    return wide ? CallWindowProcW(own, window, message, wParam, lParam)
                : CallWindowProcA(own, window, message, wParam, lParam);
}
