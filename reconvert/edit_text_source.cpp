#include "reconvert/edit_text_source.h"

#include <string.h>
#include <wchar.h>

#include "module/ansi_text.h"
#include "module/fault.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "module/trace.h"
#include "module/window_form.h"
#include "module/working_code_page.h"
#include "reconvert/control_units.h"
#include "reconvert/edit_context.h"
#include "reconvert/edit_lines.h"
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
    if (FAULT_BUILT_IN(PASSWORD_SERVED)) return false;
    if (IsSystemEditClass(window) && (GetWindowLongA(window, GWL_STYLE) & ES_PASSWORD) != 0) return true;
    return SendMessageA(window, EM_GETPASSWORDCHAR, 0, 0) != 0;
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
        // In window positions where the text counts bytes.
        int base = pairBits == nullptr ? unitBase : 0;
        TraceMessage("str=[%s] pos=%d %d %d", buffer, context.Result, context.Caret + base, context.Start + base);
        from = context.Start;
        result = context.Result;
    }
    NoteHandedBack(window, text, pairBits, unitBase, from, static_cast<int>(strlen(buffer)));
    return result;
}

// The window's text is read in the control's own form (control_units.h), so
// that no conversion of the system's can put a look-alike in a character's
// place: the whole text of a window that answers no line messages, or that
// the units are learnt from, only up to the read limit.
int ReadAnsiText(HWND window, WindowTextBuffer* slot, int* length) {
    if (static_cast<unsigned int>(SendInForm(window, false, WM_GETTEXTLENGTH, 0, 0)) >= WINDOW_TEXT_LIMIT) return -1;
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
    if (static_cast<unsigned int>(SendInForm(window, true, WM_GETTEXTLENGTH, 0, 0)) >= WIDE_TEXT_UNITS) return -1;
    wchar_t* wide = reinterpret_cast<wchar_t*>(slot->Text);
    wide[0] = 0;
    int read = static_cast<int>(SendInForm(window, true, WM_GETTEXT, WIDE_TEXT_UNITS, reinterpret_cast<LPARAM>(wide)));
    wide[WIDE_TEXT_UNITS - 1] = 0;
    if (read < 0 || read >= WIDE_TEXT_UNITS || wide[read] != 0) read = static_cast<int>(wcslen(wide));
    *length = read;
    return 0;
}

// A UTF-16 text (or part) whose positions are units, beginning at window
// position `from`: only what the caret context or the selection can reach is
// converted for the byte-oriented work, so the cost does not grow with the
// text.
int HandBackWide(HWND window, WindowTextBuffer* slot, int length, uint32_t from, uint32_t start, uint32_t end,
                 char* buffer) {
    WIDEPART part;
    ConvertWidePart(reinterpret_cast<const uint16_t*>(slot->Text), length, start, end, slot->Part, slot->PairBits,
                    &part);
    return HandBack(window, reinterpret_cast<char*>(slot->Part), part.Length, slot->PairBits,
                    static_cast<int>(from) + part.From, part.Start, part.End, buffer);
}

// A text (or part) in bytes, beginning at window position `from`.
int HandBackAnsi(HWND window, WindowTextBuffer* slot, int length, uint32_t from, uint32_t start, uint32_t end,
                 char* buffer) {
    return HandBack(window, reinterpret_cast<char*>(slot->Text), length, nullptr, static_cast<int>(from), start, end,
                    buffer);
}

int ReadText(HWND window, WindowTextBuffer* slot, bool wide, int* length) {
    return wide ? ReadWideText(window, slot, length) : ReadAnsiText(window, slot, length);
}

// The units the control counts in, and so the form its messages are sent
// in: as the window's record keeps them, or learnt from the whole text where
// it is short enough to read; else as the evidence at hand points to
// (`decided` false). An ANSI text is learnt from only while the request works
// in the ANSI code page.
bool ReadingForm(HWND window, WindowTextBuffer* slot, bool* decided) {
    const bool wide = ControlUnits(window, decided) == UNITS_UTF16;
    int length = 0;
    if (*decided || (!wide && WorkCodePage() != CODE_PAGE_ANSI) || ReadText(window, slot, wide, &length) != 0)
        return wide;
    const bool learnt = LearnUnits(window, slot->Text, length, wide) == UNITS_UTF16;
    ControlUnits(window, decided);
    return learnt;
}

// A part read in whole lines in one form, each line copying as many units
// as the control counts in it, that holds a character whose bytes and UTF-16
// units differ: the control counts in that form's units, decisively. Kept for
// the window's life, so that a text too long to be measured whole is read up
// to the reach from then on.
void KeepUnitsThePartShows(HWND window, const unsigned char* part, int length, bool wide) {
    bool decides = wide && AnsiLength(reinterpret_cast<const uint16_t*>(part), length) != length;
    for (int i = 0; !wide && !decides && i < length; ++i) decides = IsLeadByte(part[i]);
    if (!decides) return;
    HeldRecord record(window, CLAIM_FOR_WINDOW);
    if (record) record->Units = wide ? UNITS_UTF16 : UNITS_BYTES;
}

// Positions are read in the units of the control itself, fixed when it was
// created (control_units.h): as learnt for the window, or else as the
// evidence at hand points to, or as the whole text decides where it is short
// enough to read.
//
// A control that answers the line messages has only the part of its text
// that the request can reach read, whatever the text's length; one that does
// not has its whole text read, up to the read limit.
int GetText(HWND window, char* buffer) {
    buffer[0] = 0;
    if (IsPasswordField(window)) return 0;
    WindowTextBuffer* slot = TakeBuffer();
    if (slot == nullptr) {
        TraceMessage("\a text buffers busy ");
        return 0;
    }
    bool decided = false;
    const bool wide = ReadingForm(window, slot, &decided);
    // Text in the ANSI code page can be neither worked on nor learnt from in
    // another one: its bytes would be taken for the other code page's
    // characters.
    const bool servable = wide || WorkCodePage() == CODE_PAGE_ANSI;
    const int length = static_cast<int>(SendInForm(window, wide, WM_GETTEXTLENGTH, 0, 0));
    TraceMessage("len=%d ", length);
    const bool lines = AnswersLineMessages(window, wide);
    const bool readable = length >= 0 && length < (wide ? int{WIDE_TEXT_UNITS} : int{WINDOW_TEXT_LIMIT});
    int result = 0;
    if (servable && (lines || readable)) {
        const EDITSELECTION sel = ReadSelection(window, wide);
        TraceMessage("sel=%x ", sel.Packed);
        // Whole lines where the units are not decided, so that each line's
        // copy checks them.
        LINEPART part;
        const PartOutcome outcome =
            lines ? ReadEditPart(window, wide, static_cast<uint32_t>(length < 0 ? 0 : length), sel.Start, sel.End,
                                 !decided, slot->Text, wide ? WIDE_TEXT_UNITS - 1 : WINDOW_TEXT_LIMIT, &part)
                  : PART_NO_LINES;
        if (outcome == PART_READ && !decided) KeepUnitsThePartShows(window, slot->Text, part.Length, wide);
        if (outcome != PART_READ) {
            // Line messages that contradict each other tell nothing: the
            // whole text, where it can be read, as for a control without them.
            if (lines) TraceMessage("\a lines %d ", outcome);
            part.From = 0;
            part.Start = sel.Start;
            part.End = sel.End;
        }
        if (outcome == PART_READ || (readable && ReadText(window, slot, wide, &part.Length) == 0))
            result = wide ? HandBackWide(window, slot, part.Length, part.From, part.Start, part.End, buffer)
                          : HandBackAnsi(window, slot, part.Length, part.From, part.Start, part.End, buffer);
    }
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
// positions as they are in either form, 32 bits of them.
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
    const EDITSELECTION selection = ReadSelection(window, false);
    if (selection.Start == static_cast<uint32_t>(start) && selection.End == static_cast<uint32_t>(end)) return;
    TraceMessage("confirm %d %d %x ", byteStart, byteEnd, range);
    SetSelection(window, false, static_cast<uint32_t>(start), static_cast<uint32_t>(end));
}

}  // namespace

int CALLBACK EditTextSource(HWND window, int request, UINT range, char* buffer) {
    if (request == TSR_GETTEXT) return GetText(window, buffer);
    if (request == TSR_CONFIRM) Confirm(window, range);
    return 0;
}
