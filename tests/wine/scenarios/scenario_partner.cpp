// The second application of the two-process scenario: an editor of its own
// that an IME reconverts in turns with the scenario peer's editor. Linked at
// another image base than the peer, so that a window procedure address of
// this process means nothing in the peer's.
//
// Usage: scenario_partner TAG PATTERN RESULT-FILE focus|nofocus
// Signals TAG.ready, then on each TAG.turn runs one row and appends it to
// RESULT-FILE (tab-separated: verdict, record, before, after, note, details)
// and signals TAG.done; the third TAG.turn ends it.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "scenario_support.h"

using namespace imeside;

int main(int argc, char** argv) {
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
