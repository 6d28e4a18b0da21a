#include "reconvert/edit_text_source.h"

#include <string.h>

#include "module/trace.h"
#include "reconvert/edit_context.h"
#include "rodavozi.h"

namespace {

// The window text is read into memory of this process only: text of one
// program never lands in the section that every GUI process maps, and two
// processes answering at once never mix their texts.
char WindowText[WINDOW_TEXT_LIMIT];

// A password field offers nothing, and none of its text reaches a trace line.
bool IsPasswordField(HWND window) {
    if ((GetWindowLongA(window, GWL_STYLE) & ES_PASSWORD) != 0) return true;
    return SendMessageA(window, EM_GETPASSWORDCHAR, 0, 0) != 0;
}

int GetText(HWND window, char* buffer) {
    buffer[0] = 0;
    if (IsPasswordField(window)) return 0;
    int length = GetWindowTextLengthA(window);
    TraceMessage("len=%d ", length);
    if (static_cast<unsigned int>(length) >= WINDOW_TEXT_LIMIT) return 0;
    uint32_t selection = static_cast<uint32_t>(SendMessageA(window, EM_GETSEL, 0, 0));
    TraceMessage("sel=%x ", selection);

    // A read that fails leaves the empty string, never the last window's text.
    WindowText[0] = 0;
    int read = GetWindowTextA(window, WindowText, WINDOW_TEXT_LIMIT);
    WindowText[WINDOW_TEXT_LIMIT - 1] = 0;
    // The count read is the text's length, so the work below stays near the
    // caret instead of measuring up to 64 KiB again; a count that the buffer
    // does not bear out (no terminator there) gives way to measuring.
    if (read < 0 || read >= WINDOW_TEXT_LIMIT || WindowText[read] != 0) read = static_cast<int>(strlen(WindowText));

    unsigned int start = SelectionStart(selection), end = SelectionEnd(selection);
    if (start != end) {
        SelectedText(WindowText, read, start, end, buffer);
        TraceMessage("sel[%s]", buffer);
        return -1;
    }
    CARETCONTEXT context = CaretContext(WindowText, read, start, buffer);
    TraceMessage("str=[%s] pos=%d %d %d", buffer, context.Result, context.Caret, context.Start);
    return context.Result;
}

// Selects the range that the IME's result is about to replace. A selection
// the window still shows is the one the record was filled from, and stays;
// but only its first 20 characters were offered, so a longer one is narrowed
// to what the IME converts, or its tail would be lost under the result.
void Confirm(HWND window, UINT range) {
    uint32_t selection = static_cast<uint32_t>(SendMessageA(window, EM_GETSEL, 0, 0));
    int start, end;
    if (SelectionStart(selection) != SelectionEnd(selection)) {
        if (!NarrowSelection(SelectionStart(selection), SelectionEnd(selection), range, &start, &end)) return;
        TraceMessage("confirm %d %d %x ", start, end, range);
        SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
        return;
    }
    ConfirmSelection(SelectionStart(selection), range, &start, &end);
    TraceMessage("confirm %d %d %x ", start, end, range);
    SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

}  // namespace

int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer) {
    if (request == TSR_GETTEXT) return GetText(window, buffer);
    if (request == TSR_CONFIRM) Confirm(window, range);
    return 0;
}
