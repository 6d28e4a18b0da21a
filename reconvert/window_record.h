// What this copy of the module knows about one window it serves, in one
// record with one lifetime: what holds for the window's whole life (its
// control's units, how its last document feed was sized), the offer of its
// last reconversion fill, and the subclass installed on it, if any.
//
// A record is made when the module first serves the window, through the hook
// or through IsReconvertMsg, and goes when the window is destroyed
// (WM_NCDESTROY, which the hook sees in every thread it hooks, and
// IsReconvertMsg and the subclass see as well), or once the window is found
// gone or owned by another thread. A later window given the same handle
// starts with a record of its own. Records are per process and per thread:
// a window's messages, requests and confirmations all run on the thread that
// owns it, which alone writes its record.
//
// When every record is in use, a new one takes over the least recently used
// record that holds neither a subclass (its window may still call ours) nor
// a pending offer; a record for a reconversion fill may also take over the
// least recently used pending offer. A record with nothing pending never
// takes a pending offer, so document feeds to other windows cannot lose a
// reconversion between its fill and its confirmation.
#pragma once

#include "module/platform.h"
#include "reconvert/edit_context.h"

enum { WINDOW_RECORDS = 16 };

// The units a control counts its positions in, fixed when it was created
// (units_evidence.h tells how they are learnt).
enum { UNITS_UNKNOWN = 0, UNITS_BYTES = 1, UNITS_UTF16 = 2 };

// The offer of the last reconversion fill, and which part of it the IME
// confirmed. The packed range of TSR_CONFIRM cannot say where a composition
// lies when it starts after the caret or inside a selection; so the builder
// and the edit-control text source note here, each its own part, what they
// handed out.
typedef struct OFFER {
    bool Collecting;        // between the start of a reconversion fill and its end
    bool SourceNoted;       // the window's own text source handed the text back
    int HandedBackStart;    // where the text handed back begins, bytes of the ANSI text
    int HandedBackLength;   // its length in bytes
    int Positions[EDIT_CONTEXT_OUT_SIZE];  // window position of each byte of it (-1 inside a character)
    bool Offered;           // a run was offered
    int RunStart, RunLength;  // the run, bytes of the text handed back
    int CaretOffset;        // the caret's byte offset in the string offered
    // Noted by the builder at the confirmation:
    bool Confirmed;         // the composition lies within the run
    int CompStart, CompLength;  // the composition, bytes of the text handed back
} OFFER;

typedef struct WINDOWRECORD {
    int Busy;               // held by a thread for a moment (TakeRecord); never waited for
    uint32_t Used;          // when the record was last made or given an offer, for the choice of one to reuse

    // ---- the window's life ----
    HWND volatile Window;   // the window; 0 when the record is free
    uint32_t Thread;        // the thread that owns the window
    int Units;              // UNITS_*: learnt from decisive evidence only; UNITS_UNKNOWN until then
    int UndecidedLength;    // the text's length when its measurement last told nothing; -1 none
    bool UndecidedWide;     // that text was read in UTF-16 (length in units), else ANSI (bytes)
    bool FeedSizedHere;     // the last IMR_DOCUMENTFEED size query was answered by the module

    // ---- the current offer ----
    OFFER Offer;

    // ---- the subclass (written by the hook, on the owning thread only) ----
    bool Subclassed;        // this copy installed ReconvertEditProc on the window
    WNDPROC PreviousProc;   // the window's procedure from before, as read with GetWindowLongPtrA
    bool Unicode;           // installed with the W call: messages arrive, and go on, in W form
    void* Mark;             // value of the window's mark property: this very window, not a reused handle
} WINDOWRECORD;

extern WINDOWRECORD WindowRecords[WINDOW_RECORDS];

// The one try-lock of a record: true when the calling thread now holds it.
bool TakeRecord(WINDOWRECORD* record);
void GiveRecord(WINDOWRECORD* record);

// How a claim may make a record: not at all, for what lasts the window's
// life, or for a reconversion's offer.
enum RecordClaim { CLAIM_EXISTING, CLAIM_FOR_WINDOW, CLAIM_FOR_OFFER };

// The calling thread's record of `window`, held; null when there is none (and
// none may be made), or it is held at this moment (a request arriving inside
// a request): the caller then notes nothing.
WINDOWRECORD* ClaimRecord(HWND window, RecordClaim claim);

// Holds the calling thread's record of a window for the length of a scope.
class HeldRecord {
public:
    HeldRecord(HWND window, RecordClaim claim) : record_(ClaimRecord(window, claim)) {}
    ~HeldRecord() {
        if (record_ != nullptr) GiveRecord(record_);
    }
    HeldRecord(const HeldRecord&) = delete;
    HeldRecord& operator=(const HeldRecord&) = delete;
    WINDOWRECORD* operator->() const { return record_; }
    WINDOWRECORD* get() const { return record_; }
    explicit operator bool() const { return record_ != nullptr; }

private:
    WINDOWRECORD* record_;
};

// The calling thread's record of `window`, not held: for the subclass
// section, which only the owning thread writes. Null when there is none.
WINDOWRECORD* FindRecord(HWND window);

// Empties a record the caller holds.
void ClearRecord(WINDOWRECORD* record);

// The window is destroyed, or its handle found to name another window: its
// record goes. With `keepSubclassed` a record that holds a subclass stays,
// for the subclass procedure to drop when the window's destruction reaches
// it (it still passes WM_NCDESTROY on to the window's own procedure).
void DropWindowRecord(HWND window, bool keepSubclassed);

// Drops the records of windows that are gone or owned by another thread now.
void DropGoneRecords(void);
