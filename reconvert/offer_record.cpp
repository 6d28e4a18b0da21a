#include "reconvert/offer_record.h"

#include <string.h>

#include "module/window_form.h"

namespace {

// One slot per thread, chosen by the thread's identifier. Threads that share
// a slot overwrite each other's record; each then finds no fill of its own
// and selects nothing, which never replaces the wrong text.
enum { OFFER_SLOTS = 16 };

struct Slot {
    int Busy;           // taken with an atomic exchange, never waited for
    uint32_t Owner;     // the thread whose record this is
    OFFERRECORD Record;
};

Slot Slots[OFFER_SLOTS];

Slot* SlotOf(OFFERRECORD* record) {
    for (Slot& s : Slots)
        if (&s.Record == record) return &s;
    return nullptr;
}

}  // namespace

OFFERRECORD* ClaimOfferRecord(void) {
    uint32_t thread = CurrentThreadId();
    Slot& slot = Slots[(thread >> 2) % OFFER_SLOTS];  // identifiers are multiples of 4 on Windows
    int expected = 0;
    if (!__atomic_compare_exchange_n(&slot.Busy, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
        return nullptr;
    if (slot.Owner != thread) {
        memset(&slot.Record, 0, sizeof slot.Record);
        slot.Owner = thread;
    }
    return &slot.Record;
}

void ReleaseOfferRecord(OFFERRECORD* record) {
    Slot* slot = SlotOf(record);
    if (slot != nullptr) __atomic_store_n(&slot->Busy, 0, __ATOMIC_RELEASE);
}

void StartOfferRecord(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord();
    if (record == nullptr) return;
    memset(record, 0, sizeof *record);
    record->Window = window;
    ReleaseOfferRecord(record);
}

void NoteOfferedRun(HWND window, int runStart, int runLength) {
    OFFERRECORD* record = ClaimOfferRecord();
    if (record == nullptr) return;
    if (record->Window == window && runStart >= 0 && runLength > 0) {
        record->Offered = 1;
        record->RunStart = runStart;
        record->RunLength = runLength;
    }
    ReleaseOfferRecord(record);
}

void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, int unicode) {
    OFFERRECORD* record = ClaimOfferRecord();
    if (record == nullptr) return;
    record->Confirmed = 0;
    // The run holds two-byte characters only: one UTF-16 unit each, so byte
    // offsets are the same in both forms and a unit counts two bytes.
    uint64_t offset = compOffset, length = unicode ? uint64_t(compLength) * 2 : compLength;
    if (record->Window == window && record->Offered && length > 0 && offset % 2 == 0 && length % 2 == 0 &&
        offset + length <= static_cast<uint64_t>(record->RunLength)) {
        record->Confirmed = 1;
        record->CompStart = record->RunStart + static_cast<int>(offset);
        record->CompLength = static_cast<int>(length);
    }
    ReleaseOfferRecord(record);
}

void ForgetOffer(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord();
    if (record == nullptr) return;
    if (record->Window == window) memset(record, 0, sizeof *record);
    ReleaseOfferRecord(record);
}

bool ConfirmedRange(const OFFERRECORD* record, HWND window, int* start, int* end, int* byteStart, int* byteEnd) {
    if (record == nullptr || window == nullptr || record->Window != window) return false;
    if (!record->SourceNoted || !record->Offered || !record->Confirmed) return false;
    int from = record->CompStart, to = record->CompStart + record->CompLength;
    if (from < 0 || to > record->HandedBackLength || from >= to) return false;
    if (record->Positions[from] < 0 || record->Positions[to] <= record->Positions[from]) return false;
    *start = record->Positions[from];
    *end = record->Positions[to];
    *byteStart = record->HandedBackStart + from;
    *byteEnd = record->HandedBackStart + to;
    return true;
}
