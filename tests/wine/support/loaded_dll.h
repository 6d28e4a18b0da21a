// RODAVOZI.DLL as a host loads it: from the test program's own folder, with
// its exports looked up by name, and a view of its shared record.
#pragma once

#include <windows.h>

#include "rodavozi.h"

struct LoadedDll {
    HMODULE module = nullptr;
    int(WINAPI* IsReconvertMsg)(HWND, UINT, WPARAM, LPARAM, LRESULT*, TextSourceProc) = nullptr;
    int(WINAPI* InitReconvertEdit)(DWORD) = nullptr;
    BOOL(WINAPI* EndReconvertEdit)(void) = nullptr;
};

// Loads the DLL once per process; later calls return the same record.
const LoadedDll& Dll();

// The shared record of the loaded DLL, found through its ".share" section.
struct SharedView {
    HHOOK HookHandle;
    UINT MsgMsImeReconvert, MsgAtokReconvert, MsgMsImeDocumentFeed, MsgAtokDocumentFeed;
    char TextBuffer[0xFFFF];
    HWND SubclassedWindow;
    WNDPROC lpfnoldedit;
    BOOL SubclassedUnicode;
};
volatile SharedView* Shared();

// Whether `module` is still mapped at its address. By address, not by name: a
// second copy of the DLL from another folder answers to the same name.
bool MappedAt(HMODULE module);
