#include "reconvert/offer_record.h"

#include <string.h>

#include "module/window_form.h"

namespace {

// One record per window served lately. A window whose record was taken over
// by another's (more windows than records) has no offer to confirm and
// learns its units again; it never gets another window's record.
enum { OFFER_SLOTS = 16 };

struct Slot {
    int Busy;           // taken with an atomic exchange, never waited for
    uint32_t Thread;    // the thread that owns the window
    uint32_t Used;      // when the record was last taken for a fill
    OFFERRECORD Record;
};

Slot Slots[OFFER_SLOTS];
uint32_t g_clock;

bool Take(Slot* s) {
    int expected = 0;
    return __atomic_compare_exchange_n(&s->Busy, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void Give(Slot* s) { __atomic_store_n(&s->Busy, 0, __ATOMIC_RELEASE); }

bool Names(const Slot& s, HWND window, uint32_t thread) { return s.Record.Window == window && s.Thread == thread; }

Slot* SlotOf(OFFERRECORD* record) {
    for (Slot& s : Slots)
        if (&s.Record == record) return &s;
    return nullptr;
}

void ClearOffer(OFFERRECORD* r) {
    int units = r->Units, sized = r->FeedSizedHere;
    HWND window = r->Window;
    memset(r, 0, sizeof *r);
    r->Window = window;
    r->Units = units;
    r->FeedSizedHere = sized;
}

}  // namespace

OFFERRECORD* ClaimOfferRecord(HWND window, bool create) {
    if (window == nullptr) return nullptr;
    uint32_t thread = CurrentThreadId();
    for (Slot& s : Slots) {
        if (!Names(s, window, thread)) continue;
        if (!Take(&s)) return nullptr;
        if (Names(s, window, thread)) return &s.Record;  // checked again once held
        Give(&s);
        break;
    }
    if (!create) return nullptr;
    Slot* victim = &Slots[0];
    for (Slot& s : Slots) {
        if (s.Record.Window == nullptr) {
            victim = &s;
            break;
        }
        if (s.Used - victim->Used > 0x80000000u) victim = &s;  // older, across the clock's wrap
    }
    if (!Take(victim)) return nullptr;
    memset(&victim->Record, 0, sizeof victim->Record);
    victim->Record.Window = window;
    victim->Thread = thread;
    victim->Used = __atomic_add_fetch(&g_clock, 1, __ATOMIC_RELAXED);
    return &victim->Record;
}

void ReleaseOfferRecord(OFFERRECORD* record) {
    Slot* slot = SlotOf(record);
    if (slot != nullptr) Give(slot);
}

void StartOfferRecord(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord(window, true);
    if (record == nullptr) return;
    SlotOf(record)->Used = __atomic_add_fetch(&g_clock, 1, __ATOMIC_RELAXED);
    ClearOffer(record);
    record->Collecting = 1;
    ReleaseOfferRecord(record);
}

void EndOfferRecord(HWND window, int runStart, int runLength, int caretOffset) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return;
    if (record->Collecting && runStart >= 0 && runLength > 0) {
        record->Offered = 1;
        record->RunStart = runStart;
        record->RunLength = runLength;
        record->CaretOffset = caretOffset;
    }
    record->Collecting = 0;
    ReleaseOfferRecord(record);
}

bool OfferedCaret(HWND window, int* caretOffset) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return false;
    bool offered = record->Offered != 0;
    if (offered) *caretOffset = record->CaretOffset;
    ReleaseOfferRecord(record);
    return offered;
}

void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, int unicode) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return;
    record->Confirmed = 0;
    // The run holds two-byte characters only: one UTF-16 unit each, so byte
    // offsets are the same in both forms and a unit counts two bytes.
    uint64_t offset = compOffset, length = unicode ? uint64_t(compLength) * 2 : compLength;
    if (record->Offered && length > 0 && offset % 2 == 0 && length % 2 == 0 &&
        offset + length <= static_cast<uint64_t>(record->RunLength)) {
        record->Confirmed = 1;
        record->CompStart = record->RunStart + static_cast<int>(offset);
        record->CompLength = static_cast<int>(length);
    }
    ReleaseOfferRecord(record);
}

void ForgetOffer(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return;
    ClearOffer(record);
    ReleaseOfferRecord(record);
}

bool ConfirmedRange(const OFFERRECORD* record, int* start, int* end, int* byteStart, int* byteEnd) {
    if (record == nullptr || !record->SourceNoted || !record->Offered || !record->Confirmed) return false;
    int from = record->CompStart, to = record->CompStart + record->CompLength;
    if (from < 0 || to > record->HandedBackLength || from >= to) return false;
    if (record->Positions[from] < 0 || record->Positions[to] <= record->Positions[from]) return false;
    *start = record->Positions[from];
    *end = record->Positions[to];
    *byteStart = record->HandedBackStart + from;
    *byteEnd = record->HandedBackStart + to;
    return true;
}

void NoteFeedSize(HWND window, int sizedHere) {
    OFFERRECORD* record = ClaimOfferRecord(window, sizedHere != 0);
    if (record == nullptr) return;
    record->FeedSizedHere = sizedHere;
    ReleaseOfferRecord(record);
}

bool FeedSizedHere(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return false;
    bool here = record->FeedSizedHere != 0;
    ReleaseOfferRecord(record);
    return here;
}

void DropOfferRecord(HWND window) {
    OFFERRECORD* record = ClaimOfferRecord(window, false);
    if (record == nullptr) return;
    memset(record, 0, sizeof *record);
    ReleaseOfferRecord(record);
}
