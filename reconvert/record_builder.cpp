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

int WriteString(RECONVERTHEADER* header, int kind, int unicode, const char* text) {
    TraceMessage("offset=%d ", ProcessState.LastReconvertOffset);
    unsigned char* out = reinterpret_cast<unsigned char*>(header) + RECORD_STRING_OFFSET;
    if (!unicode) {
        size_t length = strlen(text);
        memcpy(out, text, length + 1);
        header->dwStrLen = static_cast<uint32_t>(length);
    } else {
        uint16_t wide[SOURCE_BUFFER_SIZE];
        AnsiToUtf16(text, wide, SOURCE_BUFFER_SIZE);
        int units = 0;
        for (; units < kMaxRunUnits && wide[units] != 0; ++units) {
            out[2 * units] = static_cast<unsigned char>(wide[units] & 0xFF);
            out[2 * units + 1] = static_cast<unsigned char>(wide[units] >> 8);
        }
        out[2 * units] = 0;
        out[2 * units + 1] = 0;
        header->dwStrLen = static_cast<uint32_t>(units);
    }
    return kind == REQUEST_RECONVERT && text[0] == 0 ? 0 : RECORD_SIZE;
}

int FillFromSelection(HWND window, RECONVERTHEADER* header, int kind, int unicode, char* text) {
    TraceMessage("seltext=%s ", text);
    if (text[0] == 0 || strpbrk(text, "\r\n") != nullptr) return 0;
    TruncateDbcs(text, SELECTION_LIMIT);
    ProcessState.LastReconvertOffset = 0;
    if (!IsDoubleByteRun(text)) return 0;
    uint32_t length = static_cast<uint32_t>(strlen(text));
    header->dwCompStrLen = header->dwTargetStrLen = unicode ? length / 2 : length;
    int answer = WriteString(header, kind, unicode, text);
    if (answer != 0 && kind == REQUEST_RECONVERT) NoteOfferedRun(window, 0, static_cast<int>(length));
    return answer;
}

int FillFromCaret(HWND window, RECONVERTHEADER* header, int kind, int unicode, char* text, int caret) {
    TraceMessage("noseltext=%s ", text);
    if (text[0] == 0 || strpbrk(text, "\r\n") != nullptr) return 0;
    if (caret < 0 || static_cast<size_t>(caret) > strlen(text)) return 0;  // a source off its contract
    int offset = CaretRun(text, caret, text);
    ProcessState.LastReconvertOffset = offset;
    header->dwCompStrOffset = header->dwTargetStrOffset = static_cast<uint32_t>(offset);
    int answer = WriteString(header, kind, unicode, text);
    if (answer != 0 && kind == REQUEST_RECONVERT) NoteOfferedRun(window, caret - offset, static_cast<int>(strlen(text)));
    return answer;
}

int Fill(HWND window, int kind, RECONVERTHEADER* header, int unicode, TextSourceProc source) {
    header->dwSize = RECORD_SIZE;
    header->dwStrOffset = RECORD_STRING_OFFSET;
    header->dwStrLen = 2;
    header->dwCompStrLen = header->dwCompStrOffset = 0;
    header->dwTargetStrLen = header->dwTargetStrOffset = 0;
    if (source == nullptr) return 0;

    // What was offered before is forgotten even when this fill offers
    // nothing. A document feed offers nothing to confirm.
    StartOfferRecord(window);
    char text[SOURCE_BUFFER_SIZE] = {};
    int result = source(window, TSR_GETTEXT, 0, text);
    // Nothing past the buffer is ever read: a source that left no terminator
    // in it has nothing to offer.
    if (memchr(text, 0, sizeof text) == nullptr) return 0;
    if (result == -1) return FillFromSelection(window, header, kind, unicode, text);
    return FillFromCaret(window, header, kind, unicode, text, result);
}

int Confirm(HWND window, RECONVERTHEADER* header, int unicode, TextSourceProc source) {
    if (source == nullptr) return 0;
    uint32_t range = PackConfirmRange(ProcessState.LastReconvertOffset, header->dwCompStrOffset,
                                      header->dwCompStrLen, unicode);
    // The exact composition, for the module's own text source; a host's text
    // source gets the packed range only.
    NoteConfirmation(window, header->dwCompStrOffset, header->dwCompStrLen, unicode);
    source(window, TSR_CONFIRM, range, nullptr);
    ForgetOffer(window);
    return 1;
}

}  // namespace

int BuildReconvertString(HWND window, int kind, void* record, int unicode, TextSourceProc source) {
    TraceMessage("\n%d recon %d %lx ", unicode, kind,
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(record)));
    RECONVERTHEADER* header = static_cast<RECONVERTHEADER*>(record);
    if (header != nullptr && (kind == REQUEST_DOCUMENT_FEED || kind == REQUEST_RECONVERT))
        return Fill(window, kind, header, unicode, source);
    if (header != nullptr && kind == REQUEST_CONFIRM) return Confirm(window, header, unicode, source);
    return kind == REQUEST_DOCUMENT_FEED || kind == REQUEST_RECONVERT ? RECORD_SIZE : 0;
}
