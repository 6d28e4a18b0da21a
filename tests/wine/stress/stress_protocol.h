// How the stress host drives its peer processes. Each peer owns a hidden
// driver window; the host sends it one command at a time (SendMessageTimeout,
// so the host waits for the peer to finish) and reads the answer.
//
// Every command that reaches an editor answers with a packed status:
//   bits 0..7   failures the peer found while carrying it out (it printed why)
//   bits 8..15  the editors whose procedure is not their class's own, one bit
//               per slot: the windows that run the subclass procedure now
//   bits 16..23 for a request: the outcome (RequestOutcome)
#pragma once

#include <windows.h>

#include <stdint.h>

enum {
    STRESS_SLOTS = 4,   // editors per peer
    STRESS_FRAMES = 2,  // slots 0 and 1 live in frame 0, slot 2 in frame 1, slot 3 is top-level
};

// The frame holding an editor slot, or -1 for the top-level one.
inline int StressFrameOf(int slot) { return slot <= 1 ? 0 : slot == 2 ? 1 : -1; }

enum StressCommand {
    CMD_EDITOR = WM_APP + 1,  // wParam slot: answers the editor's HWND
    CMD_FRAME,                // wParam frame: answers the frame's HWND
    CMD_REQUEST,              // wParam slot | kind << 8, lParam the case seed: one IME request, checked
    CMD_KILLFOCUS,            // wParam slot: WM_KILLFOCUS to the editor
    CMD_CLOSE_STATUS_EDITOR,  // wParam slot: WM_IME_NOTIFY / IMN_CLOSESTATUSWINDOW to the editor
    CMD_CLOSE_STATUS_FRAME,   // wParam frame: the same to a frame
    CMD_RECREATE,             // wParam slot: destroy the editor and create it anew; answers the new HWND
    CMD_CHECK,                // every editor: text, selection and typing round trips through its chain
    CMD_QUIT,                 // destroy every window; the peer exits after answering
    CMD_LEAVE,                // exit at once, every window left standing
    CMD_SCRIBBLE,             // the writer peer only: wParam a window, lParam a seed: random values into
                              // random fields of the module's shared section (answers the fields written)
};

// The fields of the shared section that a scribble may write, one bit each.
enum ScribbleField {
    SCRIBBLE_HOOK = 1,
    SCRIBBLE_NUMBERS = 2,
    SCRIBBLE_TEXT = 4,
    SCRIBBLE_WINDOW = 8,
    SCRIBBLE_PROCEDURE = 16,
    SCRIBBLE_UNICODE = 32,
};

// What one request is: the IME's pattern and where the text puts the caret
// or the selection.
enum RequestKind {
    KIND_IMM_CARET,        // WM_IME_REQUEST, caret in a double-byte run: fill only (empty composition)
    KIND_MSIME_CARET,      // MSIMEReconvert, the same in UTF-16
    KIND_ATOK_CARET,       // Atok ReconvertString, the same in UTF-16
    KIND_WIDEN_CARET,      // WM_IME_REQUEST, the IME takes the word at the caret: fill, confirmation, result
    KIND_WIDEN16_CARET,    // MSIMEReconvert, the same in UTF-16
    KIND_IMM_SELECTION,    // WM_IME_REQUEST, a selection of 1 to 25 double-byte characters, reconverted
    KIND_MSIME_SELECTION,  // MSIMEReconvert, the same in UTF-16
    KIND_ATOK_SELECTION,   // Atok ReconvertString, the same in UTF-16
    KIND_MSIME_FEED,       // MSIMEDocumentFeed, caret in a double-byte run
    KIND_ATOK_FEED,        // Atok DocumentFeed, the same
    KIND_CARET_IN_ASCII,   // caret between ASCII letters: nothing to reconvert, an empty feed
    KIND_SELECTION_ASCII,  // a selection that begins with an ASCII letter: refused
    KIND_LONGEST_TEXT,     // 65,534 bytes of text, caret near the end, word widened
    KIND_TOO_LONG,         // 65,535 bytes of text: nothing offered
    KIND_COUNT
};

const char* const kKindNames[KIND_COUNT] = {
    "imm, caret (fill only)",     "msime, caret (fill only)",    "atok, caret (fill only)",
    "imm, caret, word widened",   "msime, caret, word widened",  "imm, selection",
    "msime, selection",           "atok, selection",             "msime document feed",
    "atok document feed",         "caret between ASCII letters", "selection from an ASCII letter",
    "text of 65,534 bytes",       "text of 65,535 bytes",
};

enum RequestOutcome {
    OUTCOME_FILLED = 1,     // the fill answered nonzero: a record came back
    OUTCOME_REPLACED = 2,   // confirmed, and the IME's result replaced the range
    OUTCOME_REFUSED = 4,    // the fill answered 0
};

inline LRESULT PackStatus(int failures, int subclassedMask, int outcome = 0) {
    if (failures > 255) failures = 255;
    return static_cast<LRESULT>(failures | subclassedMask << 8 | outcome << 16);
}
inline int StatusFailures(LRESULT status) { return static_cast<int>(status & 0xFF); }
inline int StatusSubclassed(LRESULT status) { return static_cast<int>((status >> 8) & 0xFF); }
inline int StatusOutcome(LRESULT status) { return static_cast<int>((status >> 16) & 0xFF); }

// The driver window of peer `name` of host process `hostPid`.
#define STRESS_DRIVER_CLASS "rodavozi stress driver"
inline void StressDriverTitle(char* out, DWORD hostPid, char name) {
    wsprintfA(out, "rodavozi-stress-%lu-%c", static_cast<unsigned long>(hostPid), name);
}

// A small, fast generator whose sequence is the same on every run: the
// schedule and every case are functions of the printed seed.
struct StressRandom {
    uint64_t state;
    explicit StressRandom(uint64_t seed) : state(seed) {}
    uint64_t Next() {  // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n - 1
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    // lo .. hi
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    bool Percent(uint32_t p) { return Below(100) < p; }
};
