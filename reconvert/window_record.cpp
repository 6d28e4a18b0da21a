#include "reconvert/window_record.h"

#include <string.h>

#include "module/window_form.h"

WINDOWRECORD WindowRecords[WINDOW_RECORDS];

namespace {

uint32_t g_clock;

uint32_t Tick() { return __atomic_add_fetch(&g_clock, 1, __ATOMIC_RELAXED); }

bool Names(const WINDOWRECORD& r, HWND window, uint32_t thread) { return r.Window == window && r.Thread == thread; }

bool OfferPending(const WINDOWRECORD& r) { return r.Offer.Collecting || r.Offer.Offered; }

// Whether `claim` may take over `r`, a record in use: never one with a
// subclass; one with a pending offer only for another offer.
bool MayTakeOver(const WINDOWRECORD& r, RecordClaim claim) {
    if (r.Subclassed) return false;
    return !OfferPending(r) || claim == CLAIM_FOR_OFFER;
}

// Frees records whose windows are gone or belong to another thread now: a
// window this copy no longer sees (its destruction went unseen) leaves no
// record for a later window with the same handle.
void DropGone(WINDOWRECORD* r) {
    HWND window = r->Window;
    if (window == nullptr || WindowOfThread(window, r->Thread) || !TakeRecord(r)) return;
    if (r->Window == window) ClearRecord(r);
    GiveRecord(r);
}

// A free record, held.
WINDOWRECORD* TakeFree() {
    for (WINDOWRECORD& r : WindowRecords) {
        if (r.Window != nullptr || !TakeRecord(&r)) continue;
        if (r.Window == nullptr) return &r;  // checked again once held
        GiveRecord(&r);
    }
    return nullptr;
}

// The least recently used record that `claim` may take over, held.
WINDOWRECORD* TakeOldest(RecordClaim claim) {
    WINDOWRECORD* oldest = nullptr;
    for (WINDOWRECORD& r : WindowRecords)
        if (MayTakeOver(r, claim) && (oldest == nullptr || r.Used - oldest->Used > 0x80000000u)) oldest = &r;
    if (oldest == nullptr || !TakeRecord(oldest)) return nullptr;
    if (MayTakeOver(*oldest, claim)) return oldest;
    GiveRecord(oldest);
    return nullptr;
}

// A record made for `window`, held: a free one, else one of a window gone,
// else the least recently used one `claim` may take over.
WINDOWRECORD* Make(HWND window, uint32_t thread, RecordClaim claim) {
    WINDOWRECORD* chosen = TakeFree();
    if (chosen == nullptr) {
        DropGoneRecords();
        chosen = TakeFree();
    }
    if (chosen == nullptr) chosen = TakeOldest(claim);
    if (chosen == nullptr) return nullptr;
    ClearRecord(chosen);
    chosen->Thread = thread;
    chosen->Used = Tick();
    // Published last: other threads look only at records with a window.
    __atomic_store_n(&chosen->Window, window, __ATOMIC_RELEASE);
    return chosen;
}

}  // namespace

bool TakeRecord(WINDOWRECORD* record) {
    int expected = 0;
    return __atomic_compare_exchange_n(&record->Busy, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void GiveRecord(WINDOWRECORD* record) { __atomic_store_n(&record->Busy, 0, __ATOMIC_RELEASE); }

WINDOWRECORD* ClaimRecord(HWND window, RecordClaim claim) {
    if (window == nullptr) return nullptr;
    uint32_t thread = CurrentThreadId();
    WINDOWRECORD* found = FindRecord(window);
    if (found != nullptr) {
        if (!TakeRecord(found)) return nullptr;
        if (Names(*found, window, thread)) {  // checked again once held
            if (claim == CLAIM_FOR_OFFER) found->Used = Tick();
            return found;
        }
        GiveRecord(found);
    }
    return claim == CLAIM_EXISTING ? nullptr : Make(window, thread, claim);
}

WINDOWRECORD* FindRecord(HWND window) {
    if (window == nullptr) return nullptr;
    uint32_t thread = CurrentThreadId();
    for (WINDOWRECORD& r : WindowRecords)
        if (Names(r, window, thread)) return &r;
    return nullptr;
}

void ClearRecord(WINDOWRECORD* record) {
    int busy = record->Busy;
    memset(static_cast<void*>(record), 0, sizeof *record);
    record->Busy = busy;
    record->UndecidedLength = -1;
}

void DropWindowRecord(HWND window, bool keepSubclassed) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (record && !(keepSubclassed && record->Subclassed)) ClearRecord(record.get());
}

void DropGoneRecords(void) {
    for (WINDOWRECORD& r : WindowRecords) DropGone(&r);
}
