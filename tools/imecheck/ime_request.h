// How an IME asks a window for a record: the four registered messages, the
// request sent as the input method manager sends it, and a record allocated
// at the size the window answers and checked before anything in it is
// trusted. Never loads RODAVOZI.DLL: it only sends messages to a window of
// the calling thread, as an IME living in the window's process does.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "record_check.h"

namespace imeside {

// The registered messages of the two IME families.
struct ImeMessages {
    UINT msImeReconvert, atokReconvert, msImeDocumentFeed, atokDocumentFeed;
    static ImeMessages Register();
};

// Bytes after the allocation that must stay as they were: a window that
// writes past the size it answered would overwrite the IME's heap.
enum { GUARD_BYTES = 256 };

// One record as the IME allocated it and the window filled it.
struct RecordExchange {
    UINT message = 0;
    WPARAM wParam = 0;
    LRESULT sizeAnswer = 0;       // to the size query
    LRESULT answer = 0;           // to the request with the record
    std::vector<uint8_t> bytes;   // the allocation as the window left it
    std::vector<std::string> problems;  // CheckRecord, and writes past the allocation
    RecordView view;
    std::string Describe() const;  // header fields and string bytes
};

// Sends a request to `window`: WM_IME_REQUEST through ImmRequestMessageA or W
// of imm32 (the window's form) while the window has the focus and an input
// context, as the input method manager does; otherwise, and for the
// registered messages, directly in the window's form. `throughImm` (may be
// null) tells which way it went.
LRESULT SendImeRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* throughImm);

// imm32's own entries, which the toolchain's header does not declare.
LRESULT ImmRequest(HIMC context, bool unicode, WPARAM wParam, LPARAM lParam);

// Size query, then the fill of a record allocated at exactly the size
// answered (plus the guard), with dwVersion 0 and every other byte set to a
// non-zero pattern, so that a missing terminator shows; the filled record is
// checked as `encoding` (an ANSI one as code page 932, or with `leads`).
// False when the size query was not answered or its answer is unusable.
bool RequestRecord(HWND window, UINT message, WPARAM fillCode, Encoding encoding, RecordExchange* exchange,
                   bool* throughImm, const LeadBytes* leads = nullptr);

}  // namespace imeside
