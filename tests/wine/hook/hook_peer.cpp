// The other process of the cross-process tests. It never loads RODAVOZI.DLL:
// it creates a "kvexedit" window with Japanese text and sends it requests as
// an IME would, so that the host's hook serves it.
//
//   hook_peer serve   reconversion through WM_IME_REQUEST and MSIMEReconvert,
//                     checked; exit 0 when every answer was right
//   hook_peer hold    one request (the window takes the shared record), then
//                     signal "rodavozi-peer-ready" and wait for
//                     "rodavozi-peer-quit" before destroying the window
//   hook_peer unmap   one request (the window is subclassed), signal
//                     "rodavozi-peer-ready", wait for "rodavozi-peer-unmap"
//                     (the host has removed its hook), free RODAVOZI.DLL to
//                     no reference as the system does when a hook goes, then
//                     check that the window still works; exit 0 when it does
//   hook_peer hostile bent|zero WINDOW
//                     a hostile program: maps RODAVOZI.DLL itself and writes
//                     into its shared section the message numbers bent to
//                     WM_SETTEXT, EM_REPLACESEL and EM_SETSEL (bent) or 0
//                     (zero), a subclass record naming WINDOW (hex) with an
//                     address that is code in no process, and a zero hook
#include <windows.h>
#include <imm.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kvexedit.h"
#include "support/loaded_dll.h"

namespace {

int g_failures;

void Check(bool ok, const char* what, long long got) {
    printf("%s %s (%lld)\n", ok ? "ok" : "FAILED", what, got);
    if (!ok) ++g_failures;
}

HWND CreateEditor(const char* text, int caret) {
    RegisterKvexEditClass(GetModuleHandleA(nullptr));
    HWND editor = CreateWindowA(KVEXEDIT_CLASS, text, WS_OVERLAPPEDWINDOW, 0, 0, 300, 60, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    SendMessageA(editor, EM_SETSEL, caret, caret);
    return editor;
}

int Serve() {
    // "abc" and five hiragana; the caret after the third of them.
    const char* text = "abc\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8z";
    HWND editor = CreateEditor(text, 9);
    alignas(8) BYTE record[160];
    RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);

    LRESULT size = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
    Check(size == 160, "size query answered 160", size);
    memset(record, 0, sizeof record);
    rs->dwSize = sizeof record;
    LRESULT filled = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    Check(filled == 160, "ANSI fill answered 160", filled);
    Check(rs->dwStrLen == 10, "ANSI string of 10 bytes", rs->dwStrLen);
    Check(rs->dwCompStrOffset == 6 && rs->dwTargetStrOffset == 6, "caret at byte 6 of the run", rs->dwCompStrOffset);
    Check(memcmp(record + 32, text + 3, 10) == 0 && record[42] == 0, "the five hiragana", record[32]);

    // The IME takes the two characters before the caret.
    rs->dwCompStrOffset = 2;
    rs->dwCompStrLen = 4;
    LRESULT confirmed =
        SendMessageA(editor, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    Check(confirmed == 1, "confirmation answered 1", confirmed);
    DWORD start = 0, end = 0;
    SendMessageA(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    Check(start == 5 && end == 9, "bytes 5 to 9 selected", start * 100 + end);

    // The same through the registered message, with a UTF-16 record.
    SendMessageA(editor, EM_SETSEL, 9, 9);
    UINT msReconvert = RegisterWindowMessageA("MSIMEReconvert");
    memset(record, 0, sizeof record);
    filled = SendMessageA(editor, msReconvert, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    Check(filled == 160, "UTF-16 fill answered 160", filled);
    Check(rs->dwStrLen == 5 && rs->dwCompStrOffset == 6, "UTF-16 string of 5 units, caret at byte 6", rs->dwStrLen);
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(record + 32);
    Check(wcsncmp(wide, L"\u3042\u3044\u3046\u3048\u304A", 6) == 0, "the five hiragana in UTF-16", wide[0]);
    rs->dwCompStrOffset = 2;
    rs->dwCompStrLen = 2;
    SendMessageA(editor, msReconvert, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    SendMessageA(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    Check(start == 5 && end == 9, "UTF-16 confirmation selects bytes 5 to 9", start * 100 + end);

    KvexEditReplaceSelection(editor, "\x95\xCF\x8A\xB7");  // the IME's result
    char after[64];
    GetWindowTextA(editor, after, sizeof after);
    Check(strcmp(after, "abc\x82\xA0\x95\xCF\x8A\xB7\x82\xA6\x82\xA8z") == 0, "result replaced exactly the range", 0);
    DestroyWindow(editor);
    return g_failures == 0 ? 0 : 1;
}

int Hold() {
    HWND editor = CreateEditor("\x82\xA0\x82\xA2", 4);
    LRESULT size = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
    printf("window %llx answered %lld\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(editor)),
           static_cast<long long>(size));
    fflush(stdout);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-quit");
    SetEvent(ready);
    // Keep answering messages until told to go.
    while (MsgWaitForMultipleObjects(1, &quit, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    DestroyWindow(editor);
    return size == 160 ? 0 : 1;
}

int Unmap() {
    HWND editor = CreateEditor("\x82\xA0\x82\xA2", 4);
    LRESULT size = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
    Check(size == 160, "served through the host's hook", size);
    const HMODULE mapped = GetModuleHandleA("RODAVOZI.DLL");
    Check(mapped != nullptr, "the hook mapped the module", 0);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE unmap = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-unmap");
    SetEvent(ready);
    Check(WaitForSingleObject(unmap, 30000) == WAIT_OBJECT_0, "the host stopped", 0);
    int frees = 0;
    for (; MappedAt(mapped) && frees < 64; ++frees) FreeLibrary(mapped);
    Check(MappedAt(mapped), "a subclassing process keeps the module mapped", frees);

    // The window as a user goes on with it.
    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("\x93\xFA\x96\x7B" "ab"));
    char text[32] = {};
    GetWindowTextA(editor, text, sizeof text);
    Check(strcmp(text, "\x93\xFA\x96\x7B" "ab") == 0, "text round trip", 0);
    SendMessageA(editor, EM_SETSEL, 4, 5);
    DWORD start = 0, end = 0;
    SendMessageA(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    Check(start == 4 && end == 5, "selection", start * 100 + end);
    SendMessageA(editor, WM_CHAR, 'x', 1);
    GetWindowTextA(editor, text, sizeof text);
    Check(strcmp(text, "\x93\xFA\x96\x7B" "xb") == 0, "typing over the selection", 0);
    alignas(8) BYTE record[160] = {};
    reinterpret_cast<RECONVERTSTRING*>(record)->dwSize = sizeof record;
    SendMessageA(editor, EM_SETSEL, 2, 2);
    LRESULT answer = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record));
    Check(answer == 160, "the subclass still answers an IME request", answer);
    SendMessageA(editor, WM_KILLFOCUS, 0, 0);
    GetWindowTextA(editor, text, sizeof text);
    Check(strcmp(text, "\x93\xFA\x96\x7B" "xb") == 0, "text after focus loss", 0);
    Check(DestroyWindow(editor) != 0, "destroyed", 0);
    return g_failures == 0 ? 0 : 1;
}

int Hostile(const char* how, const char* window) {
    volatile SharedView* shared = Shared();
    if (shared == nullptr) {
        printf("cannot map RODAVOZI.DLL's shared section\n");
        return 3;
    }
    bool bent = strcmp(how, "bent") == 0;
    shared->MsgMsImeReconvert = bent ? EM_SETSEL : 0;
    shared->MsgAtokReconvert = 0;
    shared->MsgMsImeDocumentFeed = bent ? EM_REPLACESEL : 0;
    shared->MsgAtokDocumentFeed = bent ? WM_SETTEXT : 0;
    shared->SubclassedWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(window, nullptr, 16)));
    shared->lpfnoldedit = reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(0x0BAD0000));
    shared->SubclassedUnicode = 1;
    shared->HookHandle = nullptr;
    printf("wrote the shared section (%s)\n", how);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A fault ends the peer at once with its code, without a debugger.
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    if (argc > 1 && strcmp(argv[1], "serve") == 0) return Serve();
    if (argc > 1 && strcmp(argv[1], "hold") == 0) return Hold();
    if (argc > 1 && strcmp(argv[1], "unmap") == 0) return Unmap();
    if (argc > 3 && strcmp(argv[1], "hostile") == 0) return Hostile(argv[2], argv[3]);
    fprintf(stderr, "usage: hook_peer serve|hold|unmap|hostile bent|zero WINDOW\n");
    return 2;
}
