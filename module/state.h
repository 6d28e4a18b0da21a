// The module's two state records: SharedState, one instance for every process
// that maps the module (it lives in the ".share" section), and ProcessState,
// one instance per process.
#pragma once

#include "module/platform.h"

enum { TEXT_BUFFER_SIZE = 0xFFFF, TRACE_TEXT_SIZE = 2048 };

// Fields that other processes may change at any moment are volatile, so that a
// caller that copies one into a local reads it exactly once.
typedef struct SHAREDSTATE {
    HHOOK volatile HookHandle;
    UINT volatile MsgMsImeReconvert;
    UINT volatile MsgAtokReconvert;
    UINT volatile MsgMsImeDocumentFeed;
    UINT volatile MsgAtokDocumentFeed;
    // Kept for the record's layout; the module keeps window text out of
    // memory that every process maps.
    char TextBuffer[TEXT_BUFFER_SIZE];
    HWND volatile SubclassedWindow;
    WNDPROC volatile lpfnoldedit;
    BOOL volatile SubclassedUnicode;
} SHAREDSTATE;

typedef struct PROCESSSTATE {
    int TraceEnabled;
    HWND TraceWindow;
    char TraceText[TRACE_TEXT_SIZE];  // kept for the record's layout; each trace line is formatted on the stack
    WNDPROC ExaminedProc;
    HINSTANCE ModuleInstance;
    int LastReconvertOffset;
} PROCESSSTATE;

extern SHAREDSTATE SharedState;
extern PROCESSSTATE ProcessState;
