// The other process of the cross-process tests. It never loads RODAVOZI.DLL:
// it creates a "kvexedit" window with Japanese text and sends it requests as
// an IME would, so that the host's hook serves it.
//
//   hook_peer serve   reconversion through WM_IME_REQUEST and MSIMEReconvert,
//                     checked; exit 0 when every answer was right
//   hook_peer hold    one request (the window takes the shared record), then
//                     signal "rodavozi-peer-ready" and wait for
//                     "rodavozi-peer-quit" before destroying the window
#include <windows.h>
#include <imm.h>
#include <stdio.h>
#include <string.h>

#include "kvexedit.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "serve") == 0) return Serve();
    if (argc > 1 && strcmp(argv[1], "hold") == 0) return Hold();
    fprintf(stderr, "usage: hook_peer serve|hold\n");
    return 2;
}
