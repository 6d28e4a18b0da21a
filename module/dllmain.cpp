// The module's entry point: runs on the thread that maps the module into a
// process, once per process for its start-up.
#include "module/byte_classes.h"
#include "module/platform.h"
#include "module/state.h"
#include "module/trace.h"

static void RegisterRequestMessages(void) {
    SharedState.MsgMsImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    SharedState.MsgAtokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
    SharedState.MsgMsImeDocumentFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
    SharedState.MsgAtokDocumentFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
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
