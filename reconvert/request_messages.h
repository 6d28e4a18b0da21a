// Recognition of the IME's request messages: WM_IME_REQUEST and the four
// registered messages.
//
// A process judges requests only by the numbers it registered itself at
// start-up. SharedState receives them too, but any program can map the module
// and write there, and processes of different logon sessions share the one
// section while their numbers differ: a number read there could make an
// ordinary message (WM_SETTEXT, EM_SETSEL...) pass for a request whose
// lParam is then written to as a record.
#pragma once

#include "module/platform.h"

// The numbers this process registered for "MSIMEReconvert", "Atok Message for
// ReconvertString", "MSIMEDocumentFeed" and "Atok Message for DocumentFeed".
void SetRequestMessageIds(UINT msImeReconvert, UINT atokReconvert, UINT msImeDocumentFeed, UINT atokDocumentFeed);

// True for every message that carries an IME request, whatever its wParam.
// A registered number of 0 (a failed registration) never matches.
bool IsRequestMessage(UINT message);

// For a request that the module answers: its kind (0 document feed, 4 or 5
// reconversion) and whether it wants a UTF-16 record (for WM_IME_REQUEST that
// depends on the window: the caller decides). False when the message
// is no request or its wParam is not one the module answers.
bool ClassifyRequest(UINT message, WPARAM wParam, int* kind, int* unicode);
