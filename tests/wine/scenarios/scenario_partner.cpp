// The second application of the two-process scenario: an editor of its own
// that an IME reconverts in turns with the scenario peer's editor. Linked at
// another image base than the peer, so that a window procedure address of
// this process means nothing in the peer's.
//
// Usage: scenario_partner TAG PATTERN RESULT-FILE focus|nofocus
// Signals TAG.ready, then on each TAG.turn runs one row and appends it to
// RESULT-FILE (tab-separated: verdict, record, before, after, note, details)
// and signals TAG.done; the third TAG.turn ends it.
//
// It is also the other process of the hook's cross-process tests, with one
// "kvexedit" editor whose request (the window is subclassed and takes the
// shared record) it answers, then signals "rodavozi-peer-ready":
//   scenario_partner hold    waits for "rodavozi-peer-quit", taking messages,
//                            then destroys the editor; exit 0 when served
//   scenario_partner unmap   waits for "rodavozi-peer-unmap" (the host has
//                            removed its hook), frees RODAVOZI.DLL to no
//                            reference as the system does when a hook goes,
//                            and checks that the editor still works; exit 0
//                            when every check held
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "scenario_support.h"
#include "support/loaded_dll.h"

using namespace imeside;

namespace {

int g_failures;

void Check(bool ok, const char* what, long long got) {
    printf("%s %s (%lld)\n", ok ? "ok" : "FAILED", what, got);
    fflush(stdout);
    if (!ok) ++g_failures;
}

int HoldOrUnmap(bool unmap) {
    HWND frame = CreateFrame("RODAVOZI: the hook's other process");
    HWND editor = CreateEditor(frame, EditorKind::Kvex);
    SetWindowTextA(editor, "\x82\xA0\x82\xA2");
    SendMessageA(editor, EM_SETSEL, 4, 4);
    LRESULT size = SendMessageA(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
    Check(size == 160, "served through the host's hook", size);
    const HMODULE mapped = GetModuleHandleA("RODAVOZI.DLL");
    Check(mapped != nullptr, "the hook mapped the module", 0);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "rodavozi-peer-ready");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, unmap ? "rodavozi-peer-unmap" : "rodavozi-peer-quit");
    SetEvent(ready);
    Check(WaitPumping(go, 30000), "the host gave the word", 0);
    if (unmap) {
        int frees = 0;
        for (; MappedAt(mapped) && frees < 64; ++frees) FreeLibrary(mapped);
        Check(MappedAt(mapped), "a subclassing process keeps the module mapped", frees);
        // The window as a user goes on with it.
        char text[32] = {};
        SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("\x93\xFA\x96\x7B" "ab"));
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
    }
    Check(DestroyWindow(editor) != 0, "destroyed", 0);
    DestroyWindow(frame);
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A fault ends the program at once with its code, without a debugger.
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    if (argc == 2 && (strcmp(argv[1], "hold") == 0 || strcmp(argv[1], "unmap") == 0))
        return HoldOrUnmap(strcmp(argv[1], "unmap") == 0);
    if (argc != 5) {
        fprintf(stderr, "usage: scenario_partner TAG PATTERN RESULT-FILE focus|nofocus\n");
        return 2;
    }
    const std::string tag = argv[1];
    Pattern pattern = Pattern::Imm;
    for (Pattern p : {Pattern::Imm, Pattern::MsIme, Pattern::Atok, Pattern::Widen, Pattern::Widen16, Pattern::Current})
        if (strcmp(argv[2], PatternName(p)) == 0) pattern = p;
    g_prepareTakesFocus = strcmp(argv[4], "focus") == 0;
    const Placement place = Place(PatternWidens(pattern) ? u"別の窓の文章|です" : u"別の窓の[文章]です");

    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (tag + ".ready").c_str());
    HANDLE turn = OpenEventA(SYNCHRONIZE, FALSE, (tag + ".turn").c_str());
    HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, (tag + ".done").c_str());
    if (!ready || !turn || !done) return 3;
    HWND frame = CreateFrame("RODAVOZI scenarios: the second application");
    HWND editor = CreateEditor(frame, EditorKind::Kvex);
    if (!editor) return 4;
    SetWindowPos(frame, nullptr, 60, 320, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages();
    // The peer's process id is in the tag ("...-PID-..."): end with it.
    unsigned long peerId = 0;
    sscanf(tag.c_str(), "rodavozi-scenario-%lu-", &peerId);
    HANDLE peer = OpenProcess(SYNCHRONIZE, FALSE, peerId);
    auto waitTurn = [&](DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        HANDLE handles[2] = {turn, peer};
        while (GetTickCount() - start < timeoutMs) {
            DWORD r = MsgWaitForMultipleObjects(peer ? 2 : 1, handles, FALSE, 200, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0) return true;
            if (r == WAIT_OBJECT_0 + 1 && peer) return false;  // the peer is gone
            PumpMessages();
        }
        return false;
    };
    SetEvent(ready);
    for (int round = 0; round < 2; ++round) {
        if (!waitTurn(60000)) return 5;
        RowResult row = RunRow(editor, pattern, place, Expect::Serves);
        std::string line = row.verdict + "\t" + row.record + "\t" + row.before + "\t" + row.after + "\t" + row.note;
        for (const std::string& d : row.details) line += "\t" + d;
        line += "\n";
        if (FILE* f = fopen(argv[3], "ab")) {
            fwrite(line.data(), 1, line.size(), f);
            fclose(f);
        }
        SetEvent(done);
    }
    waitTurn(60000);
    DestroyWindow(frame);
    return 0;
}
