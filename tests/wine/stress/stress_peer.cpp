// One peer process of the stress run. It never loads RODAVOZI.DLL: the host's
// hook brings it in, as into any application. The peer owns four "kvexedit"
// editors (two in one frame, one in another, one top-level), all hidden, and
// plays the IME for them: the host tells it, command by command through a
// hidden driver window, which editor gets which request or which focus,
// status-window or destruction message. Every request is checked here, on the
// record and on the editor's text; what fails is printed with the case seed.
//
// Peer W is the hostile writer: it maps RODAVOZI.DLL itself and, on the
// host's command, writes random values into random fields of its shared
// section (message numbers, the subclass record, the hook handle, bytes of
// the text buffer), as any program could.
//
// Every peer checks that each editor runs its own procedure or the module's
// (an address inside RODAVOZI.DLL as mapped here), never anything else.
//
// Usage: stress_peer NAME HOSTPID   (NAME is one letter; exits with the host)
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "ime_client.h"
#include "kvexedit.h"
#include "stress_cases.h"
#include "stress_protocol.h"
#include "support/ime_text.h"
#include "support/loaded_dll.h"
#include "text_check.h"

using namespace imeside;

namespace {

const char kFrameClass[] = "rodavozi stress frame";
const int kMaxReports = 30;  // failures printed in full; the rest are only counted

char g_name = '?';
HWND g_frames[STRESS_FRAMES];
HWND g_editors[STRESS_SLOTS];
WNDPROC g_editorClassProc;
int g_failures;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateEditor(int slot) {
    int frame = StressFrameOf(slot);
    DWORD style = frame >= 0 ? WS_CHILD : WS_OVERLAPPEDWINDOW;  // never visible: no focus or activation moves
    return CreateWindowA(KVEXEDIT_CLASS, "\x93\xFA\x96\x7B\x8C\xEA", style, 0, 30 * slot, 300, 28,
                         frame >= 0 ? g_frames[frame] : nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Whether `address` lies in RODAVOZI.DLL as mapped in this process.
bool InModule(uintptr_t address) {
    HMODULE module = GetModuleHandleA("RODAVOZI.DLL");
    if (module == nullptr) return false;
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    uintptr_t start = reinterpret_cast<uintptr_t>(base);
    return address >= start && address < start + nt->OptionalHeader.SizeOfImage;
}

// The editors whose procedure is no longer their class's: those running the
// subclass procedure. A procedure that is neither is a failure of the peer.
int SubclassedMask() {
    int mask = 0;
    for (int slot = 0; slot < STRESS_SLOTS; ++slot) {
        WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(g_editors[slot], GWLP_WNDPROC));
        if (proc == g_editorClassProc) continue;
        mask |= 1 << slot;
        if (!InModule(reinterpret_cast<uintptr_t>(proc))) {
            ++g_failures;
            printf("peer %c FAILED: editor %d runs %p, neither its own procedure nor the module's\n", g_name, slot,
                   reinterpret_cast<void*>(proc));
            fflush(stdout);
        }
    }
    return mask;
}

DWORD Selection(HWND editor) { return static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0)); }

// EM_GETSEL's answer for a selection from `low` to `high`.
DWORD Packed(uint32_t low, uint32_t high) { return static_cast<DWORD>(MAKELONG(low, high)); }

// The findings of one command, printed together when there are any.
struct Report {
    std::string head;
    std::vector<std::string> problems;
    std::vector<std::string> details;
    void Fail(const std::string& what) { problems.push_back(what); }
    int Finish() {
        if (problems.empty()) return 0;
        g_failures += static_cast<int>(problems.size());
        if (g_failures - static_cast<int>(problems.size()) < kMaxReports) {
            printf("peer %c FAILED %s\n", g_name, head.c_str());
            for (const std::string& p : problems) printf("    %s\n", p.c_str());
            for (const std::string& d : details) printf("    %s\n", d.c_str());
            fflush(stdout);
        }
        return static_cast<int>(problems.size());
    }
};

// The record as filled, against the case.
void CheckFill(const StressCase& c, const RecordExchange& fill, Report* report) {
    if (fill.sizeAnswer != 160) report->Fail("size query answered " + std::to_string(fill.sizeAnswer) + ", not 160");
    if (!c.offered) {
        if (fill.answer != 0) report->Fail("the fill answered " + std::to_string(fill.answer) + ": nothing was to be offered");
        return;
    }
    if (fill.answer != 160) {
        report->Fail("the fill answered " + std::to_string(fill.answer) + ", not 160");
        return;
    }
    for (const std::string& p : fill.problems) report->Fail("record: " + p);
    if (!fill.problems.empty()) return;
    const RecordView& view = fill.view;
    std::string offered = RecordSjis(view);
    if (offered != c.string)
        report->Fail("offered [" + SjisToUtf8(offered) + "], the editor's run is [" + SjisToUtf8(c.string) + "]");
    if (!(view.composition == ByteRange{c.compOffset, c.compLength}))
        report->Fail("composition at " + std::to_string(view.composition.offset) + " length " +
                     std::to_string(view.composition.length) + ", expected " + std::to_string(c.compOffset) +
                     " length " + std::to_string(c.compLength));
    if (!(view.target == view.composition)) report->Fail("the target is not the composition");
}

// A reconversion: the fill, then what the IME did with it and what became of
// the editor's text.
int Reconvert(HWND editor, const StressCase& c, const std::string& before, Report* report) {
    ImeClient ime(editor);
    Reconversion r = ime.Reconvert(c.pattern);
    report->details.push_back("fill: " + r.fill.Describe());
    if (!r.served) report->Fail("the size query was not answered");
    CheckFill(c, r.fill, report);
    const int filled = r.fill.answer != 0 ? OUTCOME_FILLED : OUTCOME_REFUSED;
    std::string after = EditorText(editor);
    DWORD selection = Selection(editor);
    if (!r.confirmSent) {
        // Nothing was confirmed (refused, an empty composition, no word at
        // the caret): the editor is as it was.
        if (after != before) report->Fail("the text changed without a confirmation: [" + Shown(after) + "]");
        if (selection != Packed(c.Low(), c.High()))
            report->Fail("the selection moved without a confirmation: " + Hex(selection));
        return filled;
    }
    report->details.push_back("confirmation: " + r.confirm.Describe());
    if (r.confirmAnswer != 1) report->Fail("the confirmation answered " + std::to_string(r.confirmAnswer));
    // The range the IME converts, in the editor's text.
    const uint32_t start = c.stringStart + r.used.offset, end = start + r.used.length;
    if (r.selectionAfterConfirm != Packed(start, end))
        report->Fail("the confirmation selected " + std::to_string(LOWORD(r.selectionAfterConfirm)) + ".." +
                     std::to_string(HIWORD(r.selectionAfterConfirm)) + ", the IME converts " +
                     std::to_string(start) + ".." + std::to_string(end));
    if (!r.delivered) {
        report->Fail("the IME stopped: " + r.stopped);
        return filled;
    }
    const std::string result = Utf16ToSjis(r.result);
    TextVerdict verdict = CheckReplacement(before, after, start, end - start, result);
    if (verdict.outcome != TextOutcome::Replaced)
        report->Fail("after the result [" + Utf16ToUtf8(r.result) + "]: " + verdict.description + "; text now [" +
                     Shown(after) + "]");
    return filled | OUTCOME_REPLACED;
}

int Feed(HWND editor, const StressCase& c, const std::string& before, Report* report) {
    ImeClient ime(editor);
    DocumentFeed f = ime.Feed(c.pattern);
    report->details.push_back("feed: " + f.record.Describe());
    if (!f.served) report->Fail("the size query was not answered");
    CheckFill(c, f.record, report);
    if (EditorText(editor) != before) report->Fail("a document feed changed the text");
    if (Selection(editor) != Packed(c.Low(), c.High()))
        report->Fail("a document feed moved the selection");
    return f.record.answer != 0 ? OUTCOME_FILLED : OUTCOME_REFUSED;
}

LRESULT Request(int slot, int kind, uint32_t seed) {
    HWND editor = g_editors[slot];
    StressCase c = MakeStressCase(kind, seed);
    Report report;
    report.head = std::string(kKindNames[kind]) + ", slot " + std::to_string(slot) + ", case " + Hex(seed) +
                  " (pattern " + PatternName(c.pattern) + (c.feed ? ", feed" : "") + ")";
    // The editor takes its text and selection through whatever chain of
    // procedures it has now.
    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.text.c_str()));
    SendMessageA(editor, EM_SETSEL, c.anchor, c.caret);
    const std::string before = EditorText(editor);
    report.details.push_back("text: [" + Shown(c.text) + "], selection " + std::to_string(c.Low()) + ".." +
                             std::to_string(c.High()));
    if (before != c.text) report.Fail("the editor does not hold the text it was given: [" + Shown(before) + "]");
    if (Selection(editor) != Packed(c.Low(), c.High()))
        report.Fail("the editor does not show the selection it was given");

    int outcome = c.feed ? Feed(editor, c, before, &report) : Reconvert(editor, c, before, &report);
    int failures = report.Finish();
    return PackStatus(failures, SubclassedMask(), outcome);
}

// Every editor still works through its chain: text, selection, typing.
LRESULT CheckEditors() {
    Report report;
    report.head = "editor round trips";
    // "確認abc": typing over the selected second character.
    const char probe[] = "\x8A\x6D\x94\x46" "abc";
    for (int slot = 0; slot < STRESS_SLOTS; ++slot) {
        HWND editor = g_editors[slot];
        std::string where = "slot " + std::to_string(slot) + ": ";
        if (!IsWindow(editor)) {
            report.Fail(where + "the window is gone");
            continue;
        }
        SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(probe));
        if (EditorText(editor) != probe) report.Fail(where + "WM_SETTEXT / WM_GETTEXT: [" + Shown(EditorText(editor)) + "]");
        if (SendMessageA(editor, WM_GETTEXTLENGTH, 0, 0) != 7) report.Fail(where + "WM_GETTEXTLENGTH is not 7");
        SendMessageA(editor, EM_SETSEL, 2, 4);
        if (Selection(editor) != Packed(2, 4)) report.Fail(where + "EM_SETSEL 2..4 reads back as " + Hex(Selection(editor)));
        SendMessageA(editor, WM_CHAR, 'x', 1);
        if (EditorText(editor) != "\x8A\x6Dxabc") report.Fail(where + "typing over the selection gave [" + Shown(EditorText(editor)) + "]");
        char title[16] = {};
        GetWindowTextA(editor, title, sizeof title);
        if (strcmp(title, "\x8A\x6Dxabc") != 0) report.Fail(where + "GetWindowTextA gave [" + Shown(title) + "]");
    }
    int failures = report.Finish();
    return PackStatus(failures, SubclassedMask());
}

LRESULT Recreate(int slot) {
    DestroyWindow(g_editors[slot]);
    g_editors[slot] = CreateEditor(slot);
    return reinterpret_cast<LRESULT>(g_editors[slot]);
}

void DestroyAll() {
    for (HWND& editor : g_editors) {
        DestroyWindow(editor);
        editor = nullptr;
    }
    for (HWND& frame : g_frames) {
        DestroyWindow(frame);
        frame = nullptr;
    }
}

// Random values into random fields of the shared section; `victim` is a
// real editor window of another process for the subclass record to name.
LRESULT Scribble(HWND victim, uint32_t seed) {
    volatile SharedView* shared = Shared();
    if (shared == nullptr) return 0;
    StressRandom random(seed);
    const UINT ordinary[] = {0, WM_SETTEXT, WM_GETTEXT, EM_SETSEL, EM_REPLACESEL, WM_KILLFOCUS, WM_NCDESTROY};
    auto Number = [&]() -> UINT {
        return random.Percent(70) ? ordinary[random.Below(sizeof ordinary / sizeof ordinary[0])]
                                  : static_cast<UINT>(random.Next());
    };
    int written = 0;
    for (uint32_t n = random.Between(1, 4); n > 0; --n) {
        switch (random.Below(6)) {
        case 0:
            shared->HookHandle = random.Percent(50) ? nullptr : reinterpret_cast<HHOOK>(random.Next());
            written |= SCRIBBLE_HOOK;
            break;
        case 1:
            (&shared->MsgMsImeReconvert)[random.Below(4)] = Number();
            written |= SCRIBBLE_NUMBERS;
            break;
        case 2: {
            uint32_t at = random.Below(sizeof shared->TextBuffer), length = random.Between(1, 300);
            for (uint32_t i = 0; i < length && at + i < sizeof shared->TextBuffer; ++i)
                shared->TextBuffer[at + i] = static_cast<char>(random.Next());
            written |= SCRIBBLE_TEXT;
            break;
        }
        case 3:
            shared->SubclassedWindow = random.Percent(70) ? victim : reinterpret_cast<HWND>(random.Next());
            written |= SCRIBBLE_WINDOW;
            break;
        case 4:
            // Code in no process, or an address of this one.
            shared->lpfnoldedit = reinterpret_cast<WNDPROC>(random.Percent(50) ? random.Next() : 0x0BAD0000ull);
            written |= SCRIBBLE_PROCEDURE;
            break;
        default:
            shared->SubclassedUnicode = static_cast<BOOL>(random.Next());
            written |= SCRIBBLE_UNICODE;
            break;
        }
    }
    return written;
}

LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int slot = static_cast<int>(wParam & 0xFF) % STRESS_SLOTS;
    switch (message) {
    case CMD_EDITOR:
        return reinterpret_cast<LRESULT>(g_editors[slot]);
    case CMD_FRAME:
        return reinterpret_cast<LRESULT>(g_frames[wParam % STRESS_FRAMES]);
    case CMD_REQUEST:
        return Request(slot, static_cast<int>((wParam >> 8) % KIND_COUNT), static_cast<uint32_t>(lParam));
    case CMD_KILLFOCUS:
        SendMessageA(g_editors[slot], WM_KILLFOCUS, 0, 0);
        return PackStatus(0, SubclassedMask());
    case CMD_CLOSE_STATUS_EDITOR:
        SendMessageA(g_editors[slot], WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW, 0);
        return PackStatus(0, SubclassedMask());
    case CMD_CLOSE_STATUS_FRAME:
        SendMessageA(g_frames[wParam % STRESS_FRAMES], WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW, 0);
        return PackStatus(0, SubclassedMask());
    case CMD_RECREATE:
        return Recreate(slot);
    case CMD_CHECK:
        return CheckEditors();
    case CMD_QUIT:
        DestroyAll();
        PostQuitMessage(0);
        return PackStatus(0, 0);
    case CMD_SCRIBBLE:
        return Scribble(reinterpret_cast<HWND>(wParam), static_cast<uint32_t>(lParam));
    case CMD_LEAVE:
        // As a program that ends without destroying its windows: none of
        // them sees WM_NCDESTROY.
        ReplyMessage(PackStatus(0, SubclassedMask()));
        fflush(stdout);
        ExitProcess(g_failures == 0 ? 0 : 1);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: stress_peer NAME HOSTPID\n");
        return 2;
    }
    g_name = argv[1][0];
    DWORD hostPid = strtoul(argv[2], nullptr, 10);
    if (GetACP() != 932) {
        printf("peer %c: the ANSI code page is %u, not 932\n", g_name, GetACP());
        return 3;
    }
    HANDLE host = OpenProcess(SYNCHRONIZE, FALSE, hostPid);
    // A fault ends the peer at once with its code, without a debugger.
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    if (g_name == 'W' && Shared() == nullptr) {
        printf("peer W: cannot map RODAVOZI.DLL's shared section\n");
        return 3;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterKvexEditClass(instance);
    WNDCLASSA wc = {};
    GetClassInfoA(instance, KVEXEDIT_CLASS, &wc);
    g_editorClassProc = wc.lpfnWndProc;
    wc = WNDCLASSA{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.lpszClassName = kFrameClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = DriverProc;
    wc.lpszClassName = STRESS_DRIVER_CLASS;
    RegisterClassA(&wc);

    for (HWND& frame : g_frames)
        frame = CreateWindowA(kFrameClass, "stress frame", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                              instance, nullptr);
    for (int slot = 0; slot < STRESS_SLOTS; ++slot) g_editors[slot] = CreateEditor(slot);
    char title[64];
    StressDriverTitle(title, hostPid, g_name);
    HWND driver = CreateWindowA(STRESS_DRIVER_CLASS, title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance,
                                nullptr);
    char ready[80];
    wsprintfA(ready, "%s-ready", title);
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready);
    if (driver == nullptr || readyEvent == nullptr) {
        printf("peer %c: cannot create the driver window\n", g_name);
        return 3;
    }
    SetEvent(readyEvent);

    // Serve the host's commands until told to quit, or until the host is gone.
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(host ? 1 : 0, &host, FALSE, 60000, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 && host) {
            printf("peer %c: the host is gone\n", g_name);
            return 4;
        }
        if (r == WAIT_TIMEOUT) {
            printf("peer %c: no command for a minute\n", g_name);
            return 4;
        }
        if (!PumpMessages()) {
            DestroyWindow(driver);
            return g_failures == 0 ? 0 : 1;
        }
    }
}
