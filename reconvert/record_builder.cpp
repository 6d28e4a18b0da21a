#include "reconvert/record_builder.h"

#include <string.h>

#include "module/ansi_text.h"
#include "module/dbcs_text.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/confirm_range.h"
#include "reconvert/offer_record.h"
#include "reconvert/offered_run.h"

namespace {

// The longest run offered is 35 two-byte characters: 35 UTF-16 units.
const int kMaxRunUnits = RUN_BEFORE_CARET + RUN_AFTER_CARET;
const uint32_t kRecordSize = RECORD_SIZE;

// The string as it goes into the record, prepared before anything is written
// so that a record without room for it stays untouched.
struct Prepared {
    unsigned char bytes[2 * SOURCE_BUFFER_SIZE];  // the string and its terminator
    uint32_t size;                                // bytes of `bytes` written
    uint32_t length;                              // dwStrLen: bytes, or UTF-16 units
};

void Prepare(int unicode, const char* text, Prepared* out) {
    if (!unicode) {
        size_t length = strlen(text);
        memcpy(out->bytes, text, length + 1);
        out->length = static_cast<uint32_t>(length);
        out->size = out->length + 1;
        return;
    }
    uint16_t wide[SOURCE_BUFFER_SIZE];
    AnsiToUtf16(text, wide, SOURCE_BUFFER_SIZE);
    int units = 0;
    for (; units < kMaxRunUnits && wide[units] != 0; ++units) {
        out->bytes[2 * units] = static_cast<unsigned char>(wide[units] & 0xFF);
        out->bytes[2 * units + 1] = static_cast<unsigned char>(wide[units] >> 8);
    }
    out->bytes[2 * units] = 0;
    out->bytes[2 * units + 1] = 0;
    out->length = static_cast<uint32_t>(units);
    out->size = 2 * out->length + 2;
}

// What a fill decided before anything is written.
struct Filled {
    int answer;              // 0 or 160
    bool refused;            // nothing to offer: only the header preset is written
    bool offered;            // a run to note for the confirmation
    int runStart, runLength, caret;
    RECONVERTHEADER header;  // from dwStrLen on
    Prepared string;
};

void PresetHeader(RECONVERTHEADER* header) {
    header->dwStrOffset = RECORD_STRING_OFFSET;
    header->dwStrLen = 2;
    header->dwCompStrLen = header->dwCompStrOffset = 0;
    header->dwTargetStrLen = header->dwTargetStrOffset = 0;
}

void WriteString(Filled* f, int kind, int unicode, const char* text, int offset) {
    TraceMessage("offset=%d ", offset);
    Prepare(unicode, text, &f->string);
    f->header.dwStrLen = f->string.length;
    f->refused = false;
    f->answer = kind == REQUEST_RECONVERT && text[0] == 0 ? 0 : RECORD_SIZE;
}

void FillFromSelection(Filled* f, int kind, int unicode, char* text) {
    TraceMessage("seltext=%s ", text);
    if (text[0] == 0 || strpbrk(text, "\r\n") != nullptr) return;
    TruncateDbcs(text, SELECTION_LIMIT);
    if (kind == REQUEST_RECONVERT) ProcessState.LastReconvertOffset = 0;
    if (!IsDoubleByteRun(text)) return;
    uint32_t length = static_cast<uint32_t>(strlen(text));
    f->header.dwCompStrLen = f->header.dwTargetStrLen = unicode ? length / 2 : length;
    WriteString(f, kind, unicode, text, 0);
    f->offered = f->answer != 0;
    f->runStart = 0;
    f->runLength = static_cast<int>(length);
    f->caret = 0;
}

void FillFromCaret(Filled* f, int kind, int unicode, char* text, int caret) {
    TraceMessage("noseltext=%s ", text);
    if (text[0] == 0 || strpbrk(text, "\r\n") != nullptr) return;
    if (caret < 0 || static_cast<size_t>(caret) > strlen(text)) return;  // a source off its contract
    int offset = CaretRun(text, caret, text);
    // What a confirmation measures from: set by reconversions only, so a
    // document feed between a fill and its confirmation changes nothing.
    if (kind == REQUEST_RECONVERT) ProcessState.LastReconvertOffset = offset;
    f->header.dwCompStrOffset = f->header.dwTargetStrOffset = static_cast<uint32_t>(offset);
    WriteString(f, kind, unicode, text, offset);
    f->offered = f->answer != 0;
    f->runStart = caret - offset;
    f->runLength = static_cast<int>(strlen(text));
    f->caret = offset;
}

// `room` is what the record has: its dwSize, or, for 0 (an IME that never
// sets it), the 160 bytes it learnt from the size query.
int Fill(HWND window, int kind, RECONVERTHEADER* record, int unicode, TextSourceProc source, uint32_t room) {
    // A record that cannot hold even the header gets nothing written.
    if (room < RECORD_STRING_OFFSET) return 0;
    Filled f = {};
    f.refused = true;
    PresetHeader(&f.header);
    if (source != nullptr) {
        // A reconversion forgets what the window was offered before, even
        // when it offers nothing itself; a document feed offers nothing to
        // confirm and leaves the window's offer as it is.
        if (kind == REQUEST_RECONVERT) StartOfferRecord(window);
        char text[SOURCE_BUFFER_SIZE] = {};
        int result = source(window, TSR_GETTEXT, 0, text);
        // Nothing past the buffer is ever read: a source that left no
        // terminator in it has nothing to offer.
        if (memchr(text, 0, sizeof text) != nullptr) {
            if (result == -1)
                FillFromSelection(&f, kind, unicode, text);
            else
                FillFromCaret(&f, kind, unicode, text, result);
        }
        // Nothing written past the record: a string it has no room for is
        // not offered at all.
        if (!f.refused && RECORD_STRING_OFFSET + f.string.size > room) {
            if (kind == REQUEST_RECONVERT) EndOfferRecord(window, 0, 0, 0);
            return 0;
        }
        if (kind == REQUEST_RECONVERT) EndOfferRecord(window, f.runStart, f.offered ? f.runLength : 0, f.caret);
    }
    // dwSize never claims more than the IME's record holds.
    record->dwSize = room < kRecordSize ? room : kRecordSize;
    RECONVERTHEADER header = f.header;
    record->dwStrLen = header.dwStrLen;
    record->dwStrOffset = header.dwStrOffset;
    record->dwCompStrLen = header.dwCompStrLen;
    record->dwCompStrOffset = header.dwCompStrOffset;
    record->dwTargetStrLen = header.dwTargetStrLen;
    record->dwTargetStrOffset = header.dwTargetStrOffset;
    if (f.refused) return 0;
    memcpy(reinterpret_cast<unsigned char*>(record) + RECORD_STRING_OFFSET, f.string.bytes, f.string.size);
    return f.answer;
}

int Confirm(HWND window, RECONVERTHEADER* header, int unicode, TextSourceProc source) {
    if (source == nullptr) return 0;
    // Measured from the caret of the window's own last reconversion fill.
    int caret = ProcessState.LastReconvertOffset;
    OfferedCaret(window, &caret);
    uint32_t range = PackConfirmRange(caret, header->dwCompStrOffset, header->dwCompStrLen, unicode);
    // The exact composition, for the module's own text source; a host's text
    // source gets the packed range only.
    NoteConfirmation(window, header->dwCompStrOffset, header->dwCompStrLen, unicode != 0);
    source(window, TSR_CONFIRM, range, nullptr);
    ForgetOffer(window);
    return 1;
}

uint32_t RecordRoom(const RECONVERTHEADER* header) { return header->dwSize == 0 ? kRecordSize : header->dwSize; }

}  // namespace

int BuildReconvertString(HWND window, int kind, void* record, int unicode, TextSourceProc source) {
    TraceMessage("\n%d recon %d %lx ", unicode, kind,
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(record)));
    RECONVERTHEADER* header = static_cast<RECONVERTHEADER*>(record);
    if (header != nullptr && (kind == REQUEST_DOCUMENT_FEED || kind == REQUEST_RECONVERT))
        return Fill(window, kind, header, unicode, source, RecordRoom(header));
    if (header != nullptr && kind == REQUEST_CONFIRM) return Confirm(window, header, unicode, source);
    return kind == REQUEST_DOCUMENT_FEED || kind == REQUEST_RECONVERT ? RECORD_SIZE : 0;
}

int BuildUnansweredFeed(HWND window, void* record, int unicode, TextSourceProc source, bool sizedHere) {
    TraceMessage("\n%d recon %d %lx ", unicode, REQUEST_DOCUMENT_FEED,
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(record)));
    RECONVERTHEADER* header = static_cast<RECONVERTHEADER*>(record);
    if (header == nullptr) return RECORD_SIZE;
    // The IME sized this record from the control's answer, not ours: only
    // what its dwSize shows is known to be there.
    uint32_t room = header->dwSize == 0 && sizedHere ? kRecordSize : header->dwSize;
    return Fill(window, REQUEST_DOCUMENT_FEED, header, unicode, source, room);
}
