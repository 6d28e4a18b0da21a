#include "reconvert/offer_record.h"

#include <string.h>

void StartOfferRecord(HWND window) {
    HeldRecord record(window, CLAIM_FOR_OFFER);
    if (!record) return;
    memset(&record->Offer, 0, sizeof record->Offer);
    record->Offer.Collecting = true;
}

void EndOfferRecord(HWND window, int runStart, int runLength, int caretOffset) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (!record) return;
    OFFER& offer = record->Offer;
    if (offer.Collecting && runStart >= 0 && runLength > 0) {
        offer.Offered = true;
        offer.RunStart = runStart;
        offer.RunLength = runLength;
        offer.CaretOffset = caretOffset;
    }
    offer.Collecting = false;
}

bool OfferedCaret(HWND window, int* caretOffset) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (!record || !record->Offer.Offered) return false;
    *caretOffset = record->Offer.CaretOffset;
    return true;
}

void NoteConfirmation(HWND window, uint32_t compOffset, uint32_t compLength, bool unicode) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (!record) return;
    OFFER& offer = record->Offer;
    offer.Confirmed = false;
    // The run holds two-byte characters only: one UTF-16 unit each, so byte
    // offsets are the same in both forms and a unit counts two bytes.
    uint64_t offset = compOffset, length = unicode ? uint64_t(compLength) * 2 : compLength;
    if (offer.Offered && length > 0 && offset % 2 == 0 && length % 2 == 0 &&
        offset + length <= static_cast<uint64_t>(offer.RunLength)) {
        offer.Confirmed = true;
        offer.CompStart = offer.RunStart + static_cast<int>(offset);
        offer.CompLength = static_cast<int>(length);
    }
}

void ForgetOffer(HWND window) {
    HeldRecord record(window, CLAIM_EXISTING);
    if (record) memset(&record->Offer, 0, sizeof record->Offer);
}

bool ConfirmedRange(const OFFER* offer, int* start, int* end, int* byteStart, int* byteEnd) {
    if (offer == nullptr || !offer->SourceNoted || !offer->Offered || !offer->Confirmed) return false;
    int from = offer->CompStart, to = offer->CompStart + offer->CompLength;
    if (from < 0 || to > offer->HandedBackLength || from >= to) return false;
    if (offer->Positions[from] < 0 || offer->Positions[to] <= offer->Positions[from]) return false;
    *start = offer->Positions[from];
    *end = offer->Positions[to];
    *byteStart = offer->HandedBackStart + from;
    *byteEnd = offer->HandedBackStart + to;
    return true;
}

void NoteFeedSize(HWND window, bool sizedHere) {
    HeldRecord record(window, sizedHere ? CLAIM_FOR_WINDOW : CLAIM_EXISTING);
    if (record) record->FeedSizedHere = sizedHere;
}

bool FeedSizedHere(HWND window) {
    HeldRecord record(window, CLAIM_EXISTING);
    return record && record->FeedSizedHere;
}
