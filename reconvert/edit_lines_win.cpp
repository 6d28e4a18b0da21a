#include "reconvert/edit_lines.h"

#include <string.h>

#include "reconvert/control_units.h"

namespace {

struct LineWindow {
    HWND Window;
    bool Wide;
};

LRESULT Send(void* control, UINT message, WPARAM wParam, LPARAM lParam) {
    const LineWindow* w = static_cast<const LineWindow*>(control);
    return SendInForm(w->Window, w->Wide, message, wParam, lParam);
}

int64_t LineCount(void* control) { return Send(control, EM_GETLINECOUNT, 0, 0); }
int64_t LineFromChar(void* control, uint32_t position) { return Send(control, EM_LINEFROMCHAR, position, 0); }
int64_t LineIndex(void* control, int64_t line) { return Send(control, EM_LINEINDEX, static_cast<WPARAM>(line), 0); }
int64_t LineLength(void* control, int64_t index) {
    return Send(control, EM_LINELENGTH, static_cast<WPARAM>(index), 0);
}

// EM_GETLINE takes its room in the buffer's first 16 bits.
int64_t GetLine(void* control, int64_t line, unsigned char* out, int room) {
    const WORD units = static_cast<WORD>(room);
    memcpy(out, &units, sizeof units);
    return Send(control, EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(out));
}

}  // namespace

EDITSELECTION ReadSelection(HWND window, bool wide) {
    // No position reaches 0xFFFFFFFF: an unchanged value was not written.
    DWORD start = 0xFFFFFFFF, end = 0xFFFFFFFF;
    WPARAM a = reinterpret_cast<WPARAM>(&start);
    LPARAM b = reinterpret_cast<LPARAM>(&end);
    EDITSELECTION s;
    s.Packed = static_cast<uint32_t>(SendInForm(window, wide, EM_GETSEL, a, b));
    s.Start = start != 0xFFFFFFFF ? start : (s.Packed & 0xFFFF);
    s.End = end != 0xFFFFFFFF ? end : (s.Packed >> 16);
    return s;
}

void SetSelection(HWND window, bool wide, uint32_t start, uint32_t end) {
    if (wide) SendMessageW(window, EM_SETSEL, start, end);
    else SendMessageA(window, EM_SETSEL, start, end);
}

bool AnswersLineMessages(HWND window, bool wide) {
    LineWindow w = {window, wide};
    return LineCount(&w) > 0;
}

PartOutcome ReadEditPart(HWND window, bool wide, uint32_t length, uint32_t start, uint32_t end, bool wholeLines,
                         unsigned char* buffer, int capacity, LINEPART* out) {
    LineWindow w = {window, wide};
    LINECONTROL control = {&w, LineCount, LineFromChar, LineIndex, LineLength, GetLine};
    return ReadLinePart(&control, length, start, end, wide ? 2 : 1, wholeLines, buffer, capacity, out);
}
