#include "reconvert/request_messages.h"

namespace {

struct RegisteredIds {
    UINT msImeReconvert, atokReconvert, msImeDocumentFeed, atokDocumentFeed;
};

// Written once at start-up, before any window of the process can receive a
// request through the module; private to the process.
RegisteredIds g_ids = {0, 0, 0, 0};

RegisteredIds ReadIds() { return g_ids; }

bool Is(UINT message, UINT id) { return id != 0 && message == id; }

}  // namespace

void SetRequestMessageIds(UINT msImeReconvert, UINT atokReconvert, UINT msImeDocumentFeed, UINT atokDocumentFeed) {
    g_ids = {msImeReconvert, atokReconvert, msImeDocumentFeed, atokDocumentFeed};
}

bool IsRequestMessage(UINT message) {
    RegisteredIds ids = ReadIds();
    return Is(message, ids.msImeReconvert) || Is(message, ids.atokReconvert) ||
           Is(message, ids.msImeDocumentFeed) || Is(message, ids.atokDocumentFeed) ||
           message == WM_IME_REQUEST;
}

bool ClassifyRequest(UINT message, WPARAM wParam, int* kind, int* unicode) {
    bool reconvertCode = wParam == IMR_RECONVERTSTRING || wParam == IMR_CONFIRMRECONVERTSTRING;
    if (message == WM_IME_REQUEST) {
        *kind = static_cast<int>(wParam);
        *unicode = 0;
        return reconvertCode;
    }
    RegisteredIds ids = ReadIds();
    *unicode = 1;
    if (Is(message, ids.msImeReconvert) || Is(message, ids.atokReconvert)) {
        *kind = static_cast<int>(wParam);
        return reconvertCode;
    }
    *kind = 0;
    if (Is(message, ids.msImeDocumentFeed)) return wParam == 1;
    if (Is(message, ids.atokDocumentFeed)) return wParam == 0;
    return false;
}
