#include "reconvert/edit_text_source.h"

#include <string.h>
#include <wchar.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "module/trace.h"
#include "module/window_form.h"
#include "module/working_code_page.h"
#include "reconvert/control_units.h"
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
    // The part of a UTF-16 text converted, in place, for the byte-oriented
    // work, and which of its characters came from a surrogate pair.
    unsigned char Part[WIDE_PART_BYTES];
    unsigned char PairBits[WIDE_PART_BITS];
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

// Notes where the text handed back lies in the window, for the confirmation:
// only while a reconversion fill of this window is collecting its offer, so
// a document feed leaves the offer of the last reconversion as it was.
// `unitBase` is the window position where `text` begins.
void NoteHandedBack(HWND window, const char* text, const unsigned char* pairBits, int unitBase, int from,
                    int length) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (!record) return;
    OFFER& offer = record->Offer;
    if (offer.Collecting && length < EDIT_CONTEXT_OUT_SIZE) {
        offer.SourceNoted = true;
        offer.HandedBackStart = from;
        offer.HandedBackLength = length;
        WindowPositions(text, pairBits, from, length, offer.Positions);
        for (int k = 0; k <= length; ++k)
            if (offer.Positions[k] >= 0) offer.Positions[k] += unitBase;
    }
}

// `text` is the window's text in the ANSI code page (or the part of it that
// begins at window position `unitBase`), `length` bytes long; `start` and
// `end` the selection in bytes of it. `pairBits` (null for text counted in
// bytes) tells the window positions of its characters.
int HandBack(HWND window, const char* text, int length, const unsigned char* pairBits, int unitBase,
             unsigned int start, unsigned int end, char* buffer) {
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
    NoteHandedBack(window, text, pairBits, unitBase, from, static_cast<int>(strlen(buffer)));
    return result;
}

// The window's text is read in the control's own form (control_units.h), so
// that no conversion of the system's can put a look-alike in a character's
// place.
int ReadAnsiText(HWND window, WindowTextBuffer* slot, int* length) {
    int bytes = static_cast<int>(SendInForm(window, false, WM_GETTEXTLENGTH, 0, 0));
    TraceMessage("len=%d ", bytes);
    if (static_cast<unsigned int>(bytes) >= WINDOW_TEXT_LIMIT) return -1;
    // A read that fails leaves the empty string, never the last window's text.
    char* text = reinterpret_cast<char*>(slot->Text);
    text[0] = 0;
    int read = static_cast<int>(SendInForm(window, false, WM_GETTEXT, WINDOW_TEXT_LIMIT, reinterpret_cast<LPARAM>(text)));
    text[WINDOW_TEXT_LIMIT - 1] = 0;
    // The count read is the text's length, so the work below stays near the
    // caret instead of measuring up to 64 KiB again; a count that the buffer
    // does not bear out (no terminator there) gives way to measuring.
    if (read < 0 || read >= WINDOW_TEXT_LIMIT || text[read] != 0) read = static_cast<int>(strlen(text));
    *length = read;
    return 0;
}

int ReadWideText(HWND window, WindowTextBuffer* slot, int* length) {
    int units = static_cast<int>(SendInForm(window, true, WM_GETTEXTLENGTH, 0, 0));
    if (static_cast<unsigned int>(units) >= WIDE_TEXT_UNITS) {
        TraceMessage("len=%d ", units);
        return -1;
    }
    wchar_t* wide = reinterpret_cast<wchar_t*>(slot->Text);
    wide[0] = 0;
    int read = static_cast<int>(SendInForm(window, true, WM_GETTEXT, WIDE_TEXT_UNITS, reinterpret_cast<LPARAM>(wide)));
    wide[WIDE_TEXT_UNITS - 1] = 0;
    if (read < 0 || read >= WIDE_TEXT_UNITS || wide[read] != 0) read = static_cast<int>(wcslen(wide));
    TraceMessage("len=%d ", read);
    *length = read;
    return 0;
}

// An ANSI text whose positions are bytes.
int HandBackAnsi(HWND window, WindowTextBuffer* slot, int length, char* buffer) {
    uint32_t selection = GetSelection(window, false);
    TraceMessage("sel=%x ", selection);
    return HandBack(window, reinterpret_cast<char*>(slot->Text), length, nullptr, 0, SelectionStart(selection),
                    SelectionEnd(selection), buffer);
}

// A UTF-16 text whose positions are units: only the part that the caret
// context or the selection can reach is converted for the byte-oriented
// work, so the cost does not grow with the text.
int HandBackWide(HWND window, WindowTextBuffer* slot, int length, char* buffer) {
    uint32_t selection = GetSelection(window, true);
    TraceMessage("sel=%x ", selection);
    WIDEPART part;
    ConvertWidePart(reinterpret_cast<const uint16_t*>(slot->Text), length, SelectionStart(selection),
                    SelectionEnd(selection), slot->Part, slot->PairBits, &part);
    return HandBack(window, reinterpret_cast<char*>(slot->Part), part.Length, slot->PairBits, part.From, part.Start,
                    part.End, buffer);
}

int ReadText(HWND window, WindowTextBuffer* slot, bool wide, int* length) {
    return wide ? ReadWideText(window, slot, length) : ReadAnsiText(window, slot, length);
}

// Positions are read in the units of the control itself, fixed when it was
// created (control_units.h): as learnt for the window, or else the text is
// read in the form the evidence at hand points to, and read again in the
// other should the text itself then decide for it.
int GetText(HWND window, char* buffer) {
    buffer[0] = 0;
    if (IsPasswordField(window)) return 0;
    WindowTextBuffer* slot = TakeBuffer();
    if (slot == nullptr) {
        TraceMessage("\a text buffers busy ");
        return 0;
    }
    bool decided = false;
    int length = 0, result = 0;
    bool wide = ControlUnits(window, &decided) == UNITS_UTF16;
    int read = ReadText(window, slot, wide, &length);
    // Text read in the ANSI code page can be neither worked on nor learnt
    // from in another one: its bytes would be taken for the other code
    // page's characters.
    if (!wide && WorkCodePage() != CODE_PAGE_ANSI) read = -1;
    if (read == 0 && !decided && (LearnUnits(window, slot->Text, length, wide) == UNITS_UTF16) != wide) {
        wide = !wide;
        read = ReadText(window, slot, wide, &length);
    }
    if (read == 0 && (wide || WorkCodePage() == CODE_PAGE_ANSI))
        result = wide ? HandBackWide(window, slot, length, buffer) : HandBackAnsi(window, slot, length, buffer);
    if (WorkCodePage() != CODE_PAGE_ANSI && AnsiControlCouldHold(buffer)) {
        buffer[0] = 0;
        result = 0;
    }
    GiveBack(slot);
    return result;
}

// Selects exactly the composition that the IME is about to replace, in the
// window's own positions, as the window's last reconversion fill handed it
// out: from the caret or selection the fill used, wherever the composition
// lies in the string offered. A confirmation without such a fill, or with a
// composition outside the offered string, selects nothing, so the IME's
// result cannot replace text that it did not convert. A selection the window
// already shows exactly is left as it is. EM_GETSEL and EM_SETSEL carry
// positions as they are in either form.
void Confirm(HWND window, UINT range) {
    int start = 0, end = 0, byteStart = 0, byteEnd = 0;
    bool found = false;
    {
        HeldRecord record(window, CLAIM_EXISTING);
        found = record && ConfirmedRange(&record->Offer, &start, &end, &byteStart, &byteEnd);
    }
    if (!found) {
        TraceMessage("\a noconfirm %x ", range);
        return;
    }
    uint32_t selection = GetSelection(window, false);
    if (static_cast<int>(SelectionStart(selection)) == start && static_cast<int>(SelectionEnd(selection)) == end)
        return;
    TraceMessage("confirm %d %d %x ", byteStart, byteEnd, range);
    SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

}  // namespace

int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer) {
    if (request == TSR_GETTEXT) return GetText(window, buffer);
    if (request == TSR_CONFIRM) Confirm(window, range);
    return 0;
}
