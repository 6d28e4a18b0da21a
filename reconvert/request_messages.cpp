#include "reconvert/request_messages.h"

#include "module/state.h"

namespace {

struct RegisteredIds {
    UINT msImeReconvert, atokReconvert, msImeDocumentFeed, atokDocumentFeed;
};

// One read of each shared number, so a request is judged against one set.
RegisteredIds ReadIds() {
    return {SharedState.MsgMsImeReconvert, SharedState.MsgAtokReconvert,
            SharedState.MsgMsImeDocumentFeed, SharedState.MsgAtokDocumentFeed};
}

bool Is(UINT message, UINT id) { return id != 0 && message == id; }

}  // namespace

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
