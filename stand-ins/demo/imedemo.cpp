// imedemo: acts as a Japanese IME on a "kvexedit" editor of its own, to show
// RODAVOZI.DLL at work end to end. It never loads the DLL: a resident host
// (reconvhost) has installed the hook, which brings the DLL into this
// process when the first request reaches the editor.
//
// Steps: a document feed through "MSIMEDocumentFeed" and through
// WM_IME_REQUEST / IMR_DOCUMENTFEED as IMEs of today ask; a reconversion
// through WM_IME_REQUEST (ANSI record); the caret moves on to the next kanji
// word and a reconversion through "MSIMEReconvert" (UTF-16 record) converts
// that one, so the text after the steps differs from the text before; then a
// document feed and a reconversion through WM_IME_REQUEST on the platform's
// own EDIT control created as a Unicode window (UTF-16 records, positions in
// UTF-16 units). For each it prints the records, the range the
// confirmation selected, the editor's text before and after, and the trace
// lines that the viewer logged meanwhile; it checks every record as an IME
// does and the editor's whole text after each replacement.
//
// Exit code: 0 when every step gave the expected result, 1 when one did not,
// 2 for a bad command line or when the window cannot be created.
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "char_kinds.h"
#include "ime_client.h"
#include "kvexedit.h"
#include "text_check.h"

using namespace imeside;

namespace {

const char16_t kSentence[] = u"日本語の文章を変換して、意味を確かめる。";
const size_t kSentenceCaret = 8;  // after 変換

const wchar_t kUsage[] =
    L"Usage: imedemo [--text TEXT] [--caret N | --select FROM:TO] [--trace-log FILE]\n"
    L"               [--shots DIR] [--hold MS] [--focus-wait MS]\n"
    L"       imedemo --hosts\n"
    L"\n"
    L"  --text TEXT      the editor's text (default: a built-in Japanese sentence)\n"
    L"  --caret N        caret after the Nth character (default: after the word 変換)\n"
    L"  --select FROM:TO select characters FROM to TO instead of placing a caret\n"
    L"  --trace-log FILE the trace viewer's log; its new lines are shown per step\n"
    L"  --shots DIR      before the first and after the last step, write\n"
    L"                   DIR\\before.ready (DIR\\after.ready) and wait up to 15 s for\n"
    L"                   DIR\\before.done (after.done), so that a screenshot can be taken\n"
    L"  --hold MS        keep the window open MS milliseconds at the end\n"
    L"  --focus-wait MS  after focusing the editor, take messages until a host in\n"
    L"                   --focus mode has hooked the thread, at most MS milliseconds\n"
    L"  --hosts          print the architectures of the reconvhost.exe hosts running\n"
    L"                   in this session (\"x64 x86\", \"x64\", ... or \"none\") and exit\n";

struct Options {
    std::u16string text = kSentence;
    size_t from = kSentenceCaret, to = kSentenceCaret;
    std::wstring traceLog, shots;
    DWORD hold = 0, focusWait = 0;
    bool hosts = false;
};

bool ParseRange(const std::wstring& value, size_t* from, size_t* to) {
    wchar_t* end = nullptr;
    unsigned long a = wcstoul(value.c_str(), &end, 10);
    if (end == value.c_str()) return false;
    if (*end == 0) {
        *from = *to = a;
        return true;
    }
    if (*end != L':') return false;
    const wchar_t* second = end + 1;
    unsigned long b = wcstoul(second, &end, 10);
    if (end == second || *end != 0) return false;
    *from = a < b ? a : b;
    *to = a < b ? b : a;
    return true;
}

bool ParseOptions(Options* o) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool ok = true, placed = false;
    for (int i = 1; i < count && ok; ++i) {
        std::wstring arg = args[i];
        bool hasValue = i + 1 < count;
        if (arg == L"--text" && hasValue) {
            o->text.assign(reinterpret_cast<const char16_t*>(args[++i]));
            if (!placed) o->from = o->to = o->text.size();
        } else if (arg == L"--caret" && hasValue) {
            ok = ParseRange(args[++i], &o->from, &o->to) && o->from == o->to;
            placed = true;
        } else if (arg == L"--select" && hasValue) {
            ok = ParseRange(args[++i], &o->from, &o->to) && o->from < o->to;
            placed = true;
        } else if (arg == L"--trace-log" && hasValue) {
            o->traceLog = args[++i];
        } else if (arg == L"--shots" && hasValue) {
            o->shots = args[++i];
        } else if (arg == L"--hosts") {
            o->hosts = true;
        } else if (arg == L"--hold" && hasValue) {
            o->hold = wcstoul(args[++i], nullptr, 10);
        } else if (arg == L"--focus-wait" && hasValue) {
            o->focusWait = wcstoul(args[++i], nullptr, 10);
        } else {
            ok = false;
        }
    }
    LocalFree(args);
    if (o->to > o->text.size()) ok = false;
    return ok;
}

void Print(const std::string& utf8) {
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

std::string Num(long long value) { return std::to_string(value); }

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpMessages();
    }
}

// A Unicode window's selection (UTF-16 units of `wide`) in bytes of the
// same text in code page 932; an ANSI window's as it is.
DWORD InBytes(HWND editor, const std::u16string& wide, DWORD sel) {
    if (!IsWindowUnicode(editor)) return sel;
    size_t a = LOWORD(sel) < wide.size() ? LOWORD(sel) : wide.size();
    size_t b = HIWORD(sel) < wide.size() ? HIWORD(sel) : wide.size();
    return MAKELONG(Utf16ToSjis(wide.substr(0, a)).size(), Utf16ToSjis(wide.substr(0, b)).size());
}

std::u16string WideText(HWND editor) { return SjisToUtf16(EditorText(editor)); }

// The editor's selection in bytes of its text in code page 932.
DWORD SelectionBytes(HWND editor) {
    return InBytes(editor, WideText(editor), static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0)));
}

// The editor's text with its caret ('|') or selection ('[' ']') marked.
std::string Marked(HWND editor) {
    std::string text = EditorText(editor);
    DWORD sel = SelectionBytes(editor);
    size_t a = LOWORD(sel), b = HIWORD(sel);
    if (b > text.size()) b = text.size();
    if (a > b) a = b;
    if (a == b) {
        text.insert(a, "|");
    } else {
        text.insert(b, "]");
        text.insert(a, "[");
    }
    return SjisToUtf8(text);
}

// New lines of the trace viewer's log since the last call.
class TraceLog {
public:
    explicit TraceLog(const std::wstring& path) : path_(path) {
        if (!path_.empty()) offset_ = Size();
    }
    void PrintNew() {
        if (path_.empty()) return;
        // The viewer writes each line as it arrives; give it a moment for the last.
        PumpFor(100);
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Print("  (trace log not readable)");
            return;
        }
        LARGE_INTEGER at;
        at.QuadPart = offset_;
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        std::string data;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
        CloseHandle(file);
        offset_ += static_cast<long long>(data.size());
        size_t lines = 0;
        for (size_t from = 0; from < data.size();) {
            size_t end = data.find('\n', from);
            if (end == std::string::npos) end = data.size();
            std::string line = data.substr(from, end - from);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Print("  trace: " + SjisToUtf8(line));
            ++lines;
            from = end + 1;
        }
        if (lines == 0) Print("  trace: (no new lines)");
    }

private:
    long long Size() const {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) return 0;
        return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    }
    std::wstring path_;
    long long offset_ = 0;
};

// Lets a screenshot be taken: DIR\NAME.ready, then wait for DIR\NAME.done.
void ShotPoint(const std::wstring& dir, const wchar_t* name) {
    if (dir.empty()) return;
    PumpFor(300);  // let the window paint
    std::wstring ready = dir + L"\\" + name + L".ready", done = dir + L"\\" + name + L".done";
    HANDLE f = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 15000) PumpFor(100);
}

void PrintRecord(const char* title, const RecordExchange& r) {
    const RecordHeader& h = r.view.header;
    Print(std::string("  ") + title + " (" + EncodingName(r.view.encoding) + ", answer " + Num(r.answer) + "):");
    Print("    dwSize " + Num(h.dwSize) + ", dwVersion " + Num(h.dwVersion) + ", dwStrLen " + Num(h.dwStrLen) +
          ", dwStrOffset " + Num(h.dwStrOffset));
    Print("    dwCompStrLen " + Num(h.dwCompStrLen) + ", dwCompStrOffset " + Num(h.dwCompStrOffset) +
          ", dwTargetStrLen " + Num(h.dwTargetStrLen) + ", dwTargetStrOffset " + Num(h.dwTargetStrOffset));
    std::string text = r.view.encoding == Encoding::Ansi ? SjisToUtf8(r.view.ansi) : Utf16ToUtf8(r.view.wide);
    Print("    string \"" + text + "\"");
    Print("    " + r.Describe());
}

bool Verdict(bool ok, const std::string& what) {
    Print(std::string("  check: ") + (ok ? "ok, " : "WRONG, ") + what);
    return ok;
}

// Where the record's string starts in the editor text.
uint32_t StringStart(const RecordView& view, uint32_t selStart, uint32_t selEnd) {
    return selStart == selEnd ? selStart - view.composition.offset : selStart;
}

std::string RecordSjis(const RecordView& view) {
    return view.encoding == Encoding::Ansi ? view.ansi : Utf16ToSjis(view.wide);
}

bool FeedOnce(HWND editor, Pattern pattern, const char* how) {
    const std::string before = EditorText(editor);
    DWORD sel = SelectionBytes(editor);
    Print("  document feed through " + std::string(how));
    DocumentFeed feed = ImeClient(editor).Feed(pattern);
    Print("  size query: answer " + Num(feed.record.sizeAnswer));
    bool ok = Verdict(feed.served && feed.record.answer != 0, "the feed was answered");
    if (ok) {
        PrintRecord("record as filled", feed.record);
        ok = Verdict(feed.record.problems.empty(), "record checks: " + std::string(feed.record.problems.empty()
                                                                                        ? "sound"
                                                                                        : feed.record.problems[0]));
        if (ok) {
            uint32_t start = StringStart(feed.record.view, LOWORD(sel), HIWORD(sel));
            ok = Verdict(TextHoldsAt(before, RecordSjis(feed.record.view), start),
                         "the string is the editor's text from byte " + Num(start));
        }
    }
    return Verdict(EditorText(editor) == before, "a document feed leaves the text alone") && ok;
}

bool FeedStep(HWND editor, TraceLog& log) {
    Print("");
    Print("== step 1: document feed through \"MSIMEDocumentFeed\" (UTF-16 record) and IMR_DOCUMENTFEED");
    Print("  editor: " + Marked(editor));
    bool ok = FeedOnce(editor, Pattern::MsIme, "\"MSIMEDocumentFeed\" (UTF-16 record)");
    ok = FeedOnce(editor, Pattern::Current, "WM_IME_REQUEST / IMR_DOCUMENTFEED (the window's form: ANSI record)") &&
         ok;
    log.PrintNew();
    return ok;
}

bool ReconvertStep(HWND editor, Pattern pattern, int number, const char* how, TraceLog& log) {
    Print("");
    Print("== step " + Num(number) + ": reconversion through " + how);
    const std::string before = EditorText(editor);
    const std::u16string wideBefore = WideText(editor);
    DWORD sel = SelectionBytes(editor);
    const std::string marked = Marked(editor);
    Reconversion r = ImeClient(editor).Reconvert(pattern);
    Print("  size query: answer " + Num(r.fill.sizeAnswer));
    if (!Verdict(r.filled, "the record was filled")) {
        Print("  the IME stopped: " + r.stopped);
        log.PrintNew();
        return false;
    }
    PrintRecord("record as filled", r.fill);
    bool ok = Verdict(r.fill.problems.empty(),
                      "record checks: " + std::string(r.fill.problems.empty() ? "sound" : r.fill.problems[0]));
    const uint32_t start = StringStart(r.fill.view, LOWORD(sel), HIWORD(sel));
    ok = Verdict(TextHoldsAt(before, RecordSjis(r.fill.view), start),
                 "the string is the editor's text from byte " + Num(start)) && ok;
    if (r.widened)
        Print("  the composition is empty (a caret): the IME widens it to the word at the caret, dwCompStrOffset " +
              Num(r.confirm.view.header.dwCompStrOffset) + ", dwCompStrLen " +
              Num(r.confirm.view.header.dwCompStrLen));
    if (!r.confirmSent || !r.delivered) {
        Print("  the IME stopped: " + r.stopped);
        log.PrintNew();
        return false;
    }
    DWORD selected = InBytes(editor, wideBefore, r.selectionAfterConfirm);
    if (IsWindowUnicode(editor))
        Print("  the Unicode EDIT reports the selection in UTF-16 units: " + Num(LOWORD(r.selectionAfterConfirm)) +
              " to " + Num(HIWORD(r.selectionAfterConfirm)));
    const uint32_t intended = start + r.used.offset;
    Print("  confirmation: answer " + Num(r.confirmAnswer) + "; the editor then selects bytes " +
          Num(LOWORD(selected)) + " to " + Num(HIWORD(selected)) + " (\"" +
          SjisToUtf8(before.substr(LOWORD(selected), HIWORD(selected) - LOWORD(selected))) + "\")");
    ok = Verdict(LOWORD(selected) == intended && HIWORD(selected) == intended + r.used.length,
                 "the selection is the composition, bytes " + Num(intended) + " to " +
                     Num(intended + r.used.length)) && ok;
    Print("  result delivered: \"" + Utf16ToUtf8(r.composition) + "\" -> \"" + Utf16ToUtf8(r.result) +
          "\" (WM_IME_CHAR per character)");
    Print("  editor before: " + marked);
    Print("  editor after:  " + Marked(editor));
    TextVerdict text = CheckReplacement(before, EditorText(editor), intended, r.used.length, Utf16ToSjis(r.result));
    ok = Verdict(text.outcome == TextOutcome::Replaced, text.description) && ok;
    log.PrintNew();
    return ok;
}

// As a user would before the next reconversion: puts the caret after the
// first run of kanji that begins after the caret, if there is one, so that
// the next step converts another word instead of undoing the last result.
void MoveCaretToNextWord(HWND editor) {
    const std::string text = EditorText(editor);
    const DWORD sel = static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0));
    const std::vector<Cell> cells = SplitSjis(text);
    size_t i = 0;
    while (i < cells.size() && cells[i].offset < HIWORD(sel)) ++i;
    while (i < cells.size() && cells[i].kind == CharKind::Kanji) ++i;  // the rest of the word at the caret
    while (i < cells.size() && cells[i].kind != CharKind::Kanji) ++i;
    if (i == cells.size()) return;
    const uint32_t start = cells[i].offset;
    while (i < cells.size() && cells[i].kind == CharKind::Kanji) ++i;
    const uint32_t end = i < cells.size() ? cells[i].offset : uint32_t(text.size());
    SendMessageA(editor, EM_SETSEL, end, end);
    Print("");
    Print("the caret moves on to byte " + Num(end) + ", after \"" + SjisToUtf8(text.substr(start, end - start)) +
          "\": " + Marked(editor));
}

// The hosts running, by their hidden windows (tools/reconvhost/reconvhost_ids.h);
// one whose hook is not yet in place as "x64(starting)".
int PrintHosts() {
    std::string found;
    for (const char* arch : {"x64", "x86"})
        if (HWND host = FindWindowA((std::string("RodavoziReconvHost.") + arch).c_str(), nullptr))
            found += (found.empty() ? "" : " ") + std::string(arch) +
                     (GetPropW(host, L"RODAVOZI.mode") ? "" : "(starting)");
    Print(found.empty() ? "none" : found);
    return 0;
}

}  // namespace

int main() {
    Options o;
    if (!ParseOptions(&o)) {
        fputws(kUsage, stderr);
        return 2;
    }
    if (o.hosts) return PrintHosts();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterKvexEditClass(instance);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "rodavozi imedemo";
    RegisterClassA(&wc);
    HWND frame = CreateWindowA(wc.lpszClassName, "RODAVOZI demo: an IME reconverts in a kvexedit editor",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 560, 720, 200, nullptr, nullptr, instance,
                               nullptr);
    HWND editor = CreateWindowExA(WS_EX_CLIENTEDGE, KVEXEDIT_CLASS, "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 12,
                                  20, 680, 40, frame, nullptr, instance, nullptr);
    // Below it, the platform's own EDIT control as a Unicode window.
    HWND unicodeEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 12, 76,
                                       680, 40, frame, nullptr, instance, nullptr);
    if (!frame || !editor || !unicodeEdit) {
        fprintf(stderr, "imedemo: cannot create the window\n");
        return 2;
    }
    HFONT font = CreateFontA(-26, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "MS Gothic");
    SendMessageA(editor, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(unicodeEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SetWindowTextW(unicodeEdit, reinterpret_cast<const wchar_t*>(o.text.c_str()));
    SendMessageW(unicodeEdit, EM_SETSEL, o.from, o.to);

    const std::string text = Utf16ToSjis(o.text);
    const uint32_t from = uint32_t(Utf16ToSjis(o.text.substr(0, o.from)).size());
    const uint32_t to = uint32_t(Utf16ToSjis(o.text.substr(0, o.to)).size());
    SetWindowTextA(editor, text.c_str());
    SendMessageA(editor, EM_SETSEL, from, to);
    SetForegroundWindow(frame);
    SetFocus(editor);
    PumpMessages();
    // A host in focus mode hooks this thread once the focus is here: wait
    // for its hook to bring the module in, up to the time given. The thread
    // learns of the hook from a message it takes (under Wine, not from a look
    // at an empty queue): post one, then send one, which runs the hook.
    const DWORD focused = GetTickCount();
    while (o.focusWait != 0 && GetModuleHandleA("RODAVOZI.DLL") == nullptr && GetTickCount() - focused < o.focusWait) {
        PostMessageA(editor, WM_NULL, 0, 0);
        PumpMessages();
        SendMessageA(editor, WM_NULL, 0, 0);
        PumpFor(50);
    }

    Print(std::string("imedemo: the IME side, a ") + (sizeof(void*) == 4 ? "32-bit" : "64-bit") +
          " program in its own process (it does not load RODAVOZI.DLL)");
    Print("editor text: \"" + Utf16ToUtf8(o.text) + "\" (" + Num(text.size()) + " bytes in code page 932), " +
          (from == to ? "caret at byte " + Num(from) : "selection of bytes " + Num(from) + " to " + Num(to)));
    TraceLog log(o.traceLog);
    ShotPoint(o.shots, L"before");

    int good = 0;
    good += FeedStep(editor, log);
    good += ReconvertStep(editor, Pattern::Widen, 2, "WM_IME_REQUEST (ANSI record)", log);
    MoveCaretToNextWord(editor);
    good += ReconvertStep(editor, Pattern::Widen16, 3, "\"MSIMEReconvert\" (UTF-16 record)", log);

    SetFocus(unicodeEdit);
    PumpMessages();
    Print("");
    Print("== step 4: the platform's EDIT control as a Unicode window (positions in UTF-16 units): document feed");
    Print("  editor: " + Marked(unicodeEdit));
    bool fed = FeedOnce(unicodeEdit, Pattern::Current, "WM_IME_REQUEST / IMR_DOCUMENTFEED (UTF-16 record)");
    log.PrintNew();
    good += ReconvertStep(unicodeEdit, Pattern::Widen, 4, "WM_IME_REQUEST on the Unicode EDIT (UTF-16 record)", log) &&
            fed;

    ShotPoint(o.shots, L"after");
    Print("");
    const std::string after = EditorText(editor);
    const std::string change =
        after == text ? std::string("the same as before the steps") : "before the steps: \"" + SjisToUtf8(text) + "\"";
    Print("final text: \"" + SjisToUtf8(after) + "\" (" + change + ")");
    Print("final text of the Unicode EDIT: \"" + SjisToUtf8(EditorText(unicodeEdit)) + "\"");
    Print(good == 4 ? "demo result: ok, all 4 steps gave the expected result"
                    : "demo result: WRONG, " + Num(4 - good) + " of 4 steps did not give the expected result");
    if (o.hold) PumpFor(o.hold);
    DestroyWindow(frame);
    DeleteObject(font);
    return good == 4 ? 0 : 1;
}
