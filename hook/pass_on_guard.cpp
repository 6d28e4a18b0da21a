#include "hook/pass_on_guard.h"

#include "module/trace.h"

namespace {

// A control may send itself the message it is handling, so a few rounds are
// allowed; a loop through two procedures costs little stack per round.
enum { LOOP_ROUNDS = 8 };

LONG volatile g_slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

// The thread-local slot for the innermost frame, allocated on first use and
// never freed: a module that passes messages on has subclassed a window and
// stays mapped until the process ends.
DWORD Slot(void) {
    DWORD slot = static_cast<DWORD>(g_slot);
    if (slot != TLS_OUT_OF_INDEXES) return slot;
    DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES) return fresh;
    LONG prior = InterlockedCompareExchange(&g_slot, static_cast<LONG>(fresh), static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (prior == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return fresh;
    TlsFree(fresh);
    return static_cast<DWORD>(prior);
}

}  // namespace

bool EnterPassOn(PASSONFRAME* frame, HWND window, UINT message) {
    DWORD slot = Slot();
    const PASSONFRAME* outer =
        slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<const PASSONFRAME*>(TlsGetValue(slot));
    // An enclosing frame lies higher on the stack; one below this is a frame
    // an exception unwound without leaving it.
    if (reinterpret_cast<uintptr_t>(outer) <= reinterpret_cast<uintptr_t>(frame)) outer = nullptr;
    int repeats = outer != nullptr && outer->Window == window && outer->Message == message ? outer->Repeats + 1 : 0;
    if (repeats >= LOOP_ROUNDS) {
        TraceMessage("\a loop %d %x ", message, TRACE_HEX(window));
        return false;
    }
    frame->Outer = outer;
    frame->Window = window;
    frame->Message = message;
    frame->Repeats = repeats;
    if (slot != TLS_OUT_OF_INDEXES) TlsSetValue(slot, frame);
    return true;
}

void LeavePassOn(const PASSONFRAME* frame) {
    DWORD slot = static_cast<DWORD>(g_slot);
    if (slot != TLS_OUT_OF_INDEXES) TlsSetValue(slot, const_cast<PASSONFRAME*>(frame->Outer));
}
