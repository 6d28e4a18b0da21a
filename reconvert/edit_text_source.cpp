#include "reconvert/edit_text_source.h"

#include <string.h>
#include <wchar.h>

#include "module/ansi_text.h"
#include "module/byte_classes.h"
#include "module/dbcs_text.h"
#include "module/trace.h"
#include "module/window_form.h"
#include "module/working_code_page.h"
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

// Notes where the text handed back lies in the window, for the confirmation:
// only while a reconversion fill of this window is collecting its offer, so
// a document feed leaves the offer of the last reconversion as it was.
// `unitBase` is the window position where `text` begins.
void NoteHandedBack(HWND window, const char* text, const unsigned char* pairBits, int unitBase, int from,
                    int length) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return;
    if (record->Collecting && length < EDIT_CONTEXT_OUT_SIZE) {
        record->SourceNoted = 1;
        record->HandedBackStart = from;
        record->HandedBackLength = length;
        WindowPositions(text, pairBits, from, length, record->Positions);
        for (int k = 0; k <= length; ++k)
            if (record->Positions[k] >= 0) record->Positions[k] += unitBase;
    }
    ReleaseOfferRecord(record);
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

// The control's own length of its first line, from EM_LINELENGTH: in the
// units the control counts positions in, whatever form its current window
// procedure takes messages in.
unsigned int FirstLineLength(HWND window) { return static_cast<unsigned int>(SendMessageA(window, EM_LINELENGTH, 0, 0)); }

// What the first line of an ANSI text tells about the control's units: bytes
// and characters of it, and whether they differ.
int LearnFromAnsi(HWND window, const unsigned char* t) {
    unsigned int bytes = 0, characters = 0;
    for (; t[bytes] != 0 && t[bytes] != '\r' && t[bytes] != '\n'; ++characters)
        bytes += IsLeadByte(t[bytes]) && t[bytes + 1] != 0 ? 2 : 1;
    if (bytes == characters) return UNITS_UNKNOWN;  // no double-byte character: the units coincide
    unsigned int line = FirstLineLength(window);
    return line == bytes ? UNITS_BYTES : line == characters ? UNITS_UTF16 : UNITS_WINDOW_FORM;
}

// The same for a UTF-16 text: units and ANSI bytes of its first line.
int LearnFromWide(HWND window, const uint16_t* w) {
    unsigned int units = 0, bytes = 0;
    while (w[units] != 0 && w[units] != '\r' && w[units] != '\n') {
        int width = w[units] >= 0xD800 && w[units] <= 0xDBFF && w[units + 1] >= 0xDC00 && w[units + 1] <= 0xDFFF ? 2 : 1;
        if (width == 1 && w[units] < 0x80) {
            bytes += 1;
        } else {
            bytes += static_cast<unsigned int>(AnsiCodePageBytes(w + units, width));
        }
        units += static_cast<unsigned int>(width);
    }
    if (bytes == units) return UNITS_UNKNOWN;
    unsigned int line = FirstLineLength(window);
    return line == units ? UNITS_UTF16 : line == bytes ? UNITS_BYTES : UNITS_WINDOW_FORM;
}

// The units of the window's control as learnt before, or UNITS_UNKNOWN.
int KnownUnits(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return UNITS_UNKNOWN;
    int units = record->Units;
    ReleaseOfferRecord(record);
    return units;
}

void KeepUnits(HWND window, int units) {
    if (units == UNITS_UNKNOWN) return;
    OFFERRECORD* record = ClaimOfferRecord(window, true);
    if (record == nullptr) return;
    record->Units = units;
    ReleaseOfferRecord(record);
}

int ReadAnsiText(HWND window, WindowTextBuffer* slot, int* length) {
    int bytes = GetWindowTextLengthA(window);
    TraceMessage("len=%d ", bytes);
    if (static_cast<unsigned int>(bytes) >= WINDOW_TEXT_LIMIT) return -1;
    // A read that fails leaves the empty string, never the last window's text.
    char* text = reinterpret_cast<char*>(slot->Text);
    text[0] = 0;
    int read = GetWindowTextA(window, text, WINDOW_TEXT_LIMIT);
    text[WINDOW_TEXT_LIMIT - 1] = 0;
    // The count read is the text's length, so the work below stays near the
    // caret instead of measuring up to 64 KiB again; a count that the buffer
    // does not bear out (no terminator there) gives way to measuring.
    if (read < 0 || read >= WINDOW_TEXT_LIMIT || text[read] != 0) read = static_cast<int>(strlen(text));
    *length = read;
    return 0;
}

int ReadWideText(HWND window, WindowTextBuffer* slot, int* length) {
    int units = GetWindowTextLengthW(window);
    if (static_cast<unsigned int>(units) >= WIDE_TEXT_UNITS) {
        TraceMessage("len=%d ", units);
        return -1;
    }
    wchar_t* wide = reinterpret_cast<wchar_t*>(slot->Text);
    wide[0] = 0;
    int read = GetWindowTextW(window, wide, WIDE_TEXT_UNITS);
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

// Positions are read in the units of the control itself, fixed when it was
// created. IsWindowUnicode follows the window procedure on top, which may be
// another program's (a byte-counting ANSI control under a Unicode procedure,
// or the reverse); so the first line's length as the control reports it is
// compared with its length in bytes and in UTF-16 units, once per window.
// Where the two cannot be told apart the text holds no double-byte
// character, and the units coincide.
int GetText(HWND window, char* buffer) {
    buffer[0] = 0;
    if (IsPasswordField(window)) return 0;
    WindowTextBuffer* slot = TakeBuffer();
    if (slot == nullptr) {
        TraceMessage("\a text buffers busy ");
        return 0;
    }
    int units = KnownUnits(window), length = 0, result = 0;
    bool wide = units == UNITS_UTF16 || (units != UNITS_BYTES && IsUnicodeWindow(window));
    int read = wide ? ReadWideText(window, slot, &length) : ReadAnsiText(window, slot, &length);
    // Text read in the ANSI code page can be neither worked on nor learnt
    // from in another one.
    if (!wide && WorkCodePage() != CODE_PAGE_ANSI) read = -1;
    if (read == 0 && units == UNITS_UNKNOWN) {
        units = wide ? LearnFromWide(window, reinterpret_cast<const uint16_t*>(slot->Text))
                     : LearnFromAnsi(window, slot->Text);
        KeepUnits(window, units);
        if ((units == UNITS_UTF16 || units == UNITS_BYTES) && (units == UNITS_UTF16) != wide) {
            wide = !wide;
            read = wide ? ReadWideText(window, slot, &length) : ReadAnsiText(window, slot, &length);
        }
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
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    int start = 0, end = 0, byteStart = 0, byteEnd = 0;
    bool found = ConfirmedRange(record, &start, &end, &byteStart, &byteEnd);
    if (record != nullptr) ReleaseOfferRecord(record);
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
