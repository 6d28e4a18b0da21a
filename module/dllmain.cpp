// The module's entry point: runs on the thread that maps the module into a
// process, once per process for its start-up.
#include "module/byte_classes.h"
#include "module/platform.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/request_messages.h"

// The process judges requests by the numbers it registers here; the copies in
// SharedState are written for the record's sake and never read back.
static void RegisterRequestMessages(void) {
    UINT msImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    UINT atokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
    UINT msImeDocumentFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
    UINT atokDocumentFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
    SetRequestMessageIds(msImeReconvert, atokReconvert, msImeDocumentFeed, atokDocumentFeed);
    SharedState.MsgMsImeReconvert = msImeReconvert;
    SharedState.MsgAtokReconvert = atokReconvert;
    SharedState.MsgMsImeDocumentFeed = msImeDocumentFeed;
    SharedState.MsgAtokDocumentFeed = atokDocumentFeed;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        BuildByteClassTable();
        ProcessState.ModuleInstance = instance;
        FindTraceWindow();
        RegisterRequestMessages();
    }
    return TRUE;
}
