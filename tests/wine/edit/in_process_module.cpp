#include "in_process_module.h"

#include "kvexedit.h"
#include "module/byte_classes.h"
#include "module/state.h"
#include "module/trace.h"
#include "reconvert/request_messages.h"
#include "support/trace_window.h"

void StartModuleInProcess() {
    static bool started;
    if (started) return;
    started = true;
    // A desktop of the test's own, before the thread has any window: a host
    // running elsewhere on the shared Wine desktop has its system-wide hook
    // there, which would subclass the test's edit windows with its own copy
    // of the module, and its trace viewer could be the one found.
    char name[64];
    wsprintfA(name, "rodavozi-edit-tests-%lu", GetCurrentProcessId());
    HDESK desktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop != nullptr) SetThreadDesktop(desktop);
    BuildByteClassTable();
    SharedState.MsgMsImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    SharedState.MsgAtokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
    SharedState.MsgMsImeDocumentFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
    SharedState.MsgAtokDocumentFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
    SetRequestMessageIds(SharedState.MsgMsImeReconvert, SharedState.MsgAtokReconvert,
                         SharedState.MsgMsImeDocumentFeed, SharedState.MsgAtokDocumentFeed);
    CreateTraceWindow();
    FindTraceWindow();
    RegisterKvexEditClass(GetModuleHandleA(nullptr));
}

