#include "reconvert/edit_text_source.h"

#include <string.h>

#include "module/dbcs_text.h"
#include "module/trace.h"
#include "module/window_form.h"
#include "reconvert/edit_context.h"
#include "reconvert/offer_record.h"
#include "reconvert/wide_text.h"
#include "rodavozi.h"

namespace {

// The window text is read into memory of this process only: text of one
// program never lands in the section that every GUI process maps. It is too
// large for the stack of whatever thread owns an edit window (up to 128 KiB of
// UTF-16), so it goes into one of two buffers of the process, each taken for
// the length of one request with an atomic exchange and given back before the
// request returns: two threads answering at the same moment each read into
// their own. A request that finds both taken (a third at once) offers
// nothing instead of waiting, since a window procedure that waits for another
// thread can deadlock with it.
enum { TEXT_BUFFERS = 2 };

struct WindowTextBuffer {
    int Busy;
    // The UTF-16 text as read, then the ANSI text converted in place; or the
    // ANSI text as read from an ANSI window.
    unsigned char Text[2 * WIDE_TEXT_UNITS];
    unsigned char PairBits[WIDE_PAIR_BITS];
};

WindowTextBuffer Buffers[TEXT_BUFFERS];

WindowTextBuffer* TakeBuffer() {
    for (WindowTextBuffer& b : Buffers) {
        int expected = 0;
        if (__atomic_compare_exchange_n(&b.Busy, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return &b;
    }
    return nullptr;
}

void GiveBack(WindowTextBuffer* b) { __atomic_store_n(&b->Busy, 0, __ATOMIC_RELEASE); }

bool IsSystemEditClass(HWND window) {
    char name[16];
    return GetClassNameA(window, name, sizeof name) != 0 && AsciiCaseCompare(name, "edit") == 0;
}

// A password field offers nothing, and none of its text reaches a trace line.
// ES_PASSWORD is a style bit of the system's edit class only; another class
// may use that bit for something else.
bool IsPasswordField(HWND window) {
    if (IsSystemEditClass(window) && (GetWindowLongA(window, GWL_STYLE) & ES_PASSWORD) != 0) return true;
    return SendMessageA(window, EM_GETPASSWORDCHAR, 0, 0) != 0;
}

uint32_t GetSelection(HWND window, bool unicode) {
    return static_cast<uint32_t>(unicode ? SendMessageW(window, EM_GETSEL, 0, 0) : SendMessageA(window, EM_GETSEL, 0, 0));
}

// Notes where the text handed back lies in the window, for the confirmation.
void NoteHandedBack(HWND window, const char* text, const unsigned char* pairBits, int from, int length) {
    OFFERRECORD* record = ClaimOfferRecord();
    if (record == nullptr) return;
    if (record->Window == window && length < EDIT_CONTEXT_OUT_SIZE) {
        record->SourceNoted = 1;
        record->HandedBackStart = from;
        record->HandedBackLength = length;
        WindowPositions(text, pairBits, from, length, record->Positions);
    }
    ReleaseOfferRecord(record);
}

// `text` is the window's whole text in the ANSI code page, `length` bytes
// long; `start` and `end` the selection in bytes of it. `pairBits` (null for
// an ANSI window) tells the window positions of its characters.
int HandBack(HWND window, const char* text, int length, const unsigned char* pairBits, unsigned int start,
             unsigned int end, char* buffer) {
    int from, result;
    if (start != end) {
        from = SelectedText(text, length, start, end, buffer);
        TraceMessage("sel[%s]", buffer);
        result = -1;
    } else {
        CARETCONTEXT context = CaretContext(text, length, start, buffer);
        TraceMessage("str=[%s] pos=%d %d %d", buffer, context.Result, context.Caret, context.Start);
        from = context.Start;
        result = context.Result;
    }
    NoteHandedBack(window, text, pairBits, from, static_cast<int>(strlen(buffer)));
    return result;
}

int GetAnsiText(HWND window, WindowTextBuffer* slot, char* buffer) {
    int length = GetWindowTextLengthA(window);
    TraceMessage("len=%d ", length);
    if (static_cast<unsigned int>(length) >= WINDOW_TEXT_LIMIT) return 0;
    uint32_t selection = GetSelection(window, false);
    TraceMessage("sel=%x ", selection);

    // A read that fails leaves the empty string, never the last window's text.
    char* text = reinterpret_cast<char*>(slot->Text);
    text[0] = 0;
    int read = GetWindowTextA(window, text, WINDOW_TEXT_LIMIT);
    text[WINDOW_TEXT_LIMIT - 1] = 0;
    // The count read is the text's length, so the work below stays near the
    // caret instead of measuring up to 64 KiB again; a count that the buffer
    // does not bear out (no terminator there) gives way to measuring.
    if (read < 0 || read >= WINDOW_TEXT_LIMIT || text[read] != 0) read = static_cast<int>(strlen(text));
    return HandBack(window, text, read, nullptr, SelectionStart(selection), SelectionEnd(selection), buffer);
}

// A Unicode window counts its positions in UTF-16 units: its text is read in
// UTF-16 and converted for the byte-oriented work, the selection mapped to
// bytes of the converted text. Trace lines give bytes, as for ANSI windows.
int GetWideText(HWND window, WindowTextBuffer* slot, char* buffer) {
    int units = GetWindowTextLengthW(window);
    if (static_cast<unsigned int>(units) >= WIDE_TEXT_UNITS) {
        TraceMessage("len=%d ", units);  // not read whole: no byte count
        return 0;
    }
    uint32_t selection = GetSelection(window, true);
    wchar_t* wide = reinterpret_cast<wchar_t*>(slot->Text);
    wide[0] = 0;
    GetWindowTextW(window, wide, WIDE_TEXT_UNITS);
    wide[WIDE_TEXT_UNITS - 1] = 0;
    unsigned int positions[2] = {SelectionStart(selection), SelectionEnd(selection)};
    int length = ConvertWideText(slot->Text, slot->PairBits, positions, 2);
    TraceMessage("len=%d ", length);
    if (static_cast<unsigned int>(length) >= WINDOW_TEXT_LIMIT) return 0;
    TraceMessage("sel=%x ", positions[1] << 16 | positions[0]);
    return HandBack(window, reinterpret_cast<char*>(slot->Text), length, slot->PairBits, positions[0], positions[1],
                    buffer);
}

int GetText(HWND window, char* buffer) {
    buffer[0] = 0;
    if (IsPasswordField(window)) return 0;
    WindowTextBuffer* slot = TakeBuffer();
    if (slot == nullptr) {
        TraceMessage("\a text buffers busy ");
        return 0;
    }
    int result = IsUnicodeWindow(window) ? GetWideText(window, slot, buffer) : GetAnsiText(window, slot, buffer);
    GiveBack(slot);
    return result;
}

// Selects exactly the composition that the IME is about to replace, in the
// window's own positions, as this thread's fill handed it out: from the
// caret or selection the fill used, wherever the composition lies in the
// string offered. A confirmation without such a fill, or with a composition
// outside the offered string, selects nothing, so the IME's result cannot
// replace text that it did not convert. A selection the window already
// shows exactly is left as it is.
void Confirm(HWND window, UINT range) {
    OFFERRECORD* record = ClaimOfferRecord();
    int start = 0, end = 0, byteStart = 0, byteEnd = 0;
    bool found = ConfirmedRange(record, window, &start, &end, &byteStart, &byteEnd);
    if (record != nullptr) ReleaseOfferRecord(record);
    if (!found) {
        TraceMessage("\a noconfirm %x ", range);
        return;
    }
    bool unicode = IsUnicodeWindow(window);
    uint32_t selection = GetSelection(window, unicode);
    if (static_cast<int>(SelectionStart(selection)) == start && static_cast<int>(SelectionEnd(selection)) == end)
        return;
    TraceMessage("confirm %d %d %x ", byteStart, byteEnd, range);
    if (unicode)
        SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    else
        SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

}  // namespace

int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer) {
    if (request == TSR_GETTEXT) return GetText(window, buffer);
    if (request == TSR_CONFIRM) Confirm(window, range);
    return 0;
}
