// The IME side of the scenarios, in a process of its own: editors of class
// "kvexedit" and "edit" in a window, and an IME that asks them for
// reconversion and document feed in each request pattern. It never loads
// RODAVOZI.DLL; the host that runs it has installed the hook, so the DLL
// comes into this process the way it comes into any application.
//
// Prints one line per scenario and pattern, then the details of every row
// that is not plainly ok, then a summary. Exit code 0 when no row failed.
//
// Usage: scenario_peer [--only SUBSTRING] [--unicode (the Unicode EDIT rows)]
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "scenario_support.h"

using namespace imeside;

namespace {

const Pattern kCaretPatterns[] = {Pattern::Imm,   Pattern::MsIme,   Pattern::Atok,
                                  Pattern::Widen, Pattern::Widen16, Pattern::Current};
const Pattern kSelectionPatterns[] = {Pattern::Imm, Pattern::MsIme, Pattern::Atok, Pattern::Current};
// The three ways a confirmation arrives: WM_IME_REQUEST and the two families.
const Pattern kConfirmPatterns[] = {Pattern::Imm, Pattern::MsIme, Pattern::Atok};

struct Output {
    std::vector<std::string> details;
    int rows = 0, ok = 0, refused = 0, failed = 0;
    void Line(const std::string& text) {
        fwrite(text.data(), 1, text.size(), stdout);
        fputs("\n", stdout);
        fflush(stdout);
    }
    void Add(const std::string& pattern, const std::string& scenario, const RowResult& row) {
        ++rows;
        if (row.verdict == "ok") ++ok;
        else if (row.verdict == "refused") ++refused;
        else ++failed;
        Line(FormatRow(pattern, scenario, row));
        if (row.verdict != "ok" && row.verdict != "refused") {
            details.push_back(row.verdict + " " + pattern + " / " + scenario + ":");
            details.push_back("    before: " + row.before);
            details.push_back("    after:  " + row.after);
            for (const std::string& d : row.details) details.push_back("    " + d);
        }
    }
};

struct Scenario {
    const char* name;
    EditorKind editor;
    Placement placement;
    Expect expect;
    std::vector<Pattern> patterns;
    size_t selectedChars = 0;  // for the selection scenarios: the count the text must have
    Compose compose = Compose::AsOffered;
    bool withoutFill = false;
};

std::vector<Pattern> CaretPatterns() { return {std::begin(kCaretPatterns), std::end(kCaretPatterns)}; }
std::vector<Pattern> SelectionPatterns() { return {std::begin(kSelectionPatterns), std::end(kSelectionPatterns)}; }
std::vector<Pattern> ConfirmPatterns() { return {std::begin(kConfirmPatterns), std::end(kConfirmPatterns)}; }

// Every scenario of kvexedit that applies to any edit control again on the
// platform's EDIT created as a Unicode window.
void AddUnicodeEditRows(std::vector<Scenario>* s) {
    const size_t n = s->size();
    for (size_t i = 0; i < n; ++i) {
        Scenario copy = (*s)[i];
        if (copy.editor != EditorKind::Kvex && copy.editor != EditorKind::SystemEdit) continue;
        copy.editor = EditorKind::UnicodeEdit;
        // A Unicode EDIT's limit is 65,535 UTF-16 units, and only the part
        // of its text around the caret is converted: kvexedit's byte limit
        // holds far fewer units, which it serves.
        if (strstr(copy.name, "kvexedit's limit") != nullptr) copy.expect = Expect::Serves;
        s->push_back(copy);
    }
}

std::vector<Scenario> Scenarios() {
    const std::u16string wordTail = u"ここで漢字を変換|。";
    // Long texts take their time in the platform's EDIT: a few patterns each.
    const std::vector<Pattern> kLongPatterns = {Pattern::Imm, Pattern::MsIme, Pattern::Widen};
    // The longest text the DLL serves is 65,534 bytes; the editor holds 65,535.
    const size_t longest = 65534 - Place(wordTail).text.size(), kBig = 80000;
    std::vector<Scenario> s = {
        {"caret after a word", EditorKind::Kvex, Place(u"ここで漢字を変換|。"), Expect::Serves, CaretPatterns()},
        {"caret inside a word", EditorKind::Kvex, Place(u"ここで漢字を変|換。"), Expect::Serves, CaretPatterns()},
        {"caret at the start of the text", EditorKind::Kvex, Place(u"|変換する。"), Expect::Serves,
         CaretPatterns()},
        {"caret at the start of a line", EditorKind::Kvex, Place(u"一行目です。\r\n|変換する"), Expect::Serves,
         CaretPatterns()},
        {"caret at the end of a line", EditorKind::Kvex, Place(u"文字を変換|\r\n二行目"), Expect::Serves,
         CaretPatterns()},
        {"caret at the end of the text", EditorKind::Kvex, Place(u"最後の単語|"), Expect::Serves, CaretPatterns()},
        {"line break before and after", EditorKind::Kvex, Place(u"一行目\r\n漢字を変|換する\r\n三行目"),
         Expect::Serves, CaretPatterns()},
        {"half-width katakana and ASCII beside the word", EditorKind::Kvex, Place(u"ABCｶﾅ変換|ﾃｽﾄxyz"),
         Expect::Serves, CaretPatterns()},
        {"caret between ASCII letters", EditorKind::Kvex, Place(u"abc|def漢字"), Expect::Refuses, CaretPatterns()},
        {"full-width space, caret after the 2nd word", EditorKind::Kvex, Place(u"漢字　変換|"), Expect::Serves,
         CaretPatterns()},
        {"full-width space right before the caret", EditorKind::Kvex, Place(u"漢字　|変換"), Expect::Serves,
         CaretPatterns()},
        {"selection of 1 character", EditorKind::Kvex, Place(u"漢字を[変]換する"), Expect::Serves,
         SelectionPatterns(), 1},
        {"selection of 20 characters", EditorKind::Kvex,
         Place(u"前置き：[日本語の文章を漢字に変換する機能を試す。]：後書き"), Expect::Serves, SelectionPatterns(), 20},
        {"selection of 25 characters", EditorKind::Kvex,
         Place(u"前置き：[日本語の文章を漢字に変換する機能を試すための例文。]：後書き"), Expect::Serves,
         SelectionPatterns(), 25},
        {"selection with ASCII inside", EditorKind::Kvex, Place(u"[ABC変換]する"), Expect::Refuses,
         SelectionPatterns()},
        {"selection across a line break", EditorKind::Kvex, Place(u"[一行目\r\n二行目]"), Expect::Refuses,
         SelectionPatterns()},
        {"text of 65,534 bytes (the longest served)", EditorKind::Kvex, PlaceAfterFiller(wordTail, longest),
         Expect::Serves, {Pattern::Imm, Pattern::MsIme, Pattern::Widen}},
        {"text of 65,535 bytes (kvexedit's limit)", EditorKind::Kvex, PlaceAfterFiller(wordTail, longest + 1),
         Expect::Refuses, {Pattern::Imm, Pattern::MsIme, Pattern::Widen}},
        {"text longer than 64 KiB (system edit)", EditorKind::SystemEdit, PlaceAfterFiller(wordTail, 70000),
         Expect::Refuses, {Pattern::Imm, Pattern::MsIme, Pattern::Widen}},
        // Texts of any length, read only near the caret through the line messages.
        {"80 kB, caret in the middle, a composition after it", EditorKind::Kvex,
         PlaceInLines(u"ここで漢字を変換|する。", kBig / 2, kBig / 2), Expect::Serves, kLongPatterns},
        {"80 kB, caret at the end", EditorKind::Kvex, PlaceInLines(u"ここで漢字を変換|", kBig, 0), Expect::Serves,
         kLongPatterns},
        {"80 kB, selection past 64 KiB", EditorKind::Kvex, PlaceInLines(u"前置き[日本語の文章]後", 70000, kBig),
         Expect::Serves, {Pattern::Imm, Pattern::MsIme}, 6},
        {"password field, caret after the password", EditorKind::KvexPassword, Place(u"秘密の合言葉|"),
         Expect::ProtectsPassword, {Pattern::Imm, Pattern::MsIme, Pattern::Widen}},
        {"password field, password selected", EditorKind::KvexPassword, Place(u"[秘密の合言葉]"),
         Expect::ProtectsPassword, {Pattern::Imm, Pattern::Atok}},
        {"password field, document feed of today", EditorKind::KvexPassword, Place(u"秘密の合言葉|"),
         Expect::ProtectsPassword, {Pattern::Current}},
        // What the IME confirms, wherever it lies in the string offered.
        {"composition before the caret", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"), Expect::Serves,
         ConfirmPatterns(), 0, Compose::BeforeCaret},
        {"composition at the caret", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"), Expect::Serves,
         ConfirmPatterns(), 0, Compose::AtCaret},
        {"composition after the caret", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"), Expect::Serves,
         ConfirmPatterns(), 0, Compose::AfterCaret},
        {"composition at a selection's start", EditorKind::Kvex, Place(u"前置き[日本語の文章]後"), Expect::Serves,
         ConfirmPatterns(), 6, Compose::SelectionStart},
        {"composition in a selection's middle", EditorKind::Kvex, Place(u"前置き[日本語の文章]後"), Expect::Serves,
         ConfirmPatterns(), 6, Compose::SelectionMiddle},
        {"composition at a selection's end", EditorKind::Kvex, Place(u"前置き[日本語の文章]後"), Expect::Serves,
         ConfirmPatterns(), 6, Compose::SelectionEnd},
        {"composition at the end of 20 offered of 25", EditorKind::Kvex,
         Place(u"前置き：[日本語の文章を漢字に変換する機能を試すための例文。]：後書き"), Expect::Serves,
         ConfirmPatterns(), 25, Compose::SelectionEnd},
        {"composition longer than offered", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"),
         Expect::SelectsNothing, ConfirmPatterns(), 0, Compose::LongerThanOffered},
        {"composition longer than a selection", EditorKind::Kvex, Place(u"前置き[日本語]の文章"),
         Expect::SelectsNothing, ConfirmPatterns(), 3, Compose::LongerThanOffered},
        {"composition of absurd length", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"),
         Expect::SelectsNothing, ConfirmPatterns(), 0, Compose::AbsurdLength},
        {"confirmation without a fill", EditorKind::Kvex, Place(u"ここで漢字を変換|する。"),
         Expect::SelectsNothing, ConfirmPatterns(), 0, Compose::AsOffered, true},
    };
    AddUnicodeEditRows(&s);
    // Only a Unicode window holds characters outside code page 932; each is
    // one byte of the converted text and one or two UTF-16 units.
    const std::vector<Scenario> unicodeOnly = {
        {"kanji, hiragana, ASCII and a pair (U+20BB7) before", EditorKind::UnicodeEdit,
         Place(u"abc\U00020BB7野家で漢字を変換|する"), Expect::Serves, CaretPatterns()},
        {"an emoji right before the word", EditorKind::UnicodeEdit, Place(u"\U0001F600変換|"), Expect::Serves,
         CaretPatterns()},
        {"a character outside the code page (U+0E01) before", EditorKind::UnicodeEdit,
         Place(u"\u0E01\u0E01ひらがなを変換|"), Expect::Serves, CaretPatterns()},
        {"selection after a pair", EditorKind::UnicodeEdit, Place(u"\U00020BB7野家の[漢字]を"), Expect::Serves,
         SelectionPatterns(), 2},
        {"composition after the caret, a pair before", EditorKind::UnicodeEdit,
         Place(u"\U00020BB7野家で|漢字を変換"), Expect::Serves, ConfirmPatterns(), 0, Compose::AfterCaret},
        {"caret after a word", EditorKind::UnicodeEditTop, Place(u"ここで漢字を変換|。"), Expect::Serves,
         CaretPatterns()},
        {"selection of 20 characters", EditorKind::UnicodeEditTop,
         Place(u"前置き：[日本語の文章を漢字に変換する機能を試す。]：後書き"), Expect::Serves, SelectionPatterns(), 20},
        {"caret after a word", EditorKind::UnicodeEditDialog, Place(u"ここで漢字を変換|。"), Expect::Serves,
         CaretPatterns()},
        {"selection of 25 characters", EditorKind::UnicodeEditDialog,
         Place(u"前置き：[日本語の文章を漢字に変換する機能を試すための例文。]：後書き"), Expect::Serves,
         SelectionPatterns(), 25},
        {"a pair before the caret", EditorKind::UnicodeEditDialog, Place(u"\U00020BB7野家で変換|"), Expect::Serves,
         CaretPatterns()},
        {"password field", EditorKind::UnicodePassword, Place(u"秘密の合言葉|"), Expect::ProtectsPassword,
         {Pattern::Imm, Pattern::MsIme, Pattern::Current}},
        {"no password character", EditorKind::KvexStyle20, Place(u"ここで漢字を変換|。"), Expect::Serves,
         {Pattern::Widen, Pattern::MsIme, Pattern::Current}},
        {"80 kB, a run across a soft line break", EditorKind::UnicodeEditWrap,
         PlaceInLines(u"文章を漢字に変換する機能を|試すための例文", kBig, 0), Expect::Serves, kLongPatterns},
        {"control answering IMR_DOCUMENTFEED itself", EditorKind::FeedingEdit, Place(u"ここで漢字を変換|。"),
         Expect::OwnFeedWins, {Pattern::Current}},
        // Positions in the control's bytes, whatever its first line holds.
        {"caret in the 2nd line, the 1st ASCII", EditorKind::KvexUnderUnicode, Place(u"abc\r\n日本の漢字を変換|する"),
         Expect::Serves, ConfirmPatterns(), 0, Compose::BeforeCaret},
        {"caret after an empty 1st line", EditorKind::KvexUnderUnicode, Place(u"\r\n漢字を変換|する"), Expect::Serves,
         CaretPatterns()},
    };
    s.insert(s.end(), unicodeOnly.begin(), unicodeOnly.end());
    return s;
}

// ---- two editors in two processes ----

const char* const kTwoProcessRows[] = {"two editors in two processes taking turns",
                                       "two processes, requests without focus"};

HANDLE Event(const std::string& tag, const char* what) {
    return CreateEventA(nullptr, FALSE, FALSE, (tag + "." + what).c_str());
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = line.find(sep, from)) != std::string::npos; from = at + 1)
        parts.push_back(line.substr(from, at - from));
    parts.push_back(line.substr(from));
    return parts;
}

// Editor A here and editor B in the partner process take turns: A, B, then
// A types and reconverts again, then B again. The subclass record moves
// between the processes at every turn.
RowResult TwoProcesses(HWND editorA, Pattern pattern, bool partnerTakesFocus) {
    RowResult row;
    const bool caret = PatternWidens(pattern);
    const Placement placeA = Place(caret ? u"ここで漢字を変換|。" : u"ここで漢字を[変換]。");
    char tag[80];
    wsprintfA(tag, "rodavozi-scenario-%lu-%s-%d", GetCurrentProcessId(), PatternName(pattern),
              partnerTakesFocus ? 1 : 0);
    HANDLE ready = Event(tag, "ready"), turn = Event(tag, "turn"), done = Event(tag, "done");
    char file[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "rsc", 0, file);
    const std::string arguments = std::string(tag) + " " + PatternName(pattern) + " \"" + file + "\" " +
                                  (partnerTakesFocus ? "focus" : "nofocus");
    std::vector<RowResult> turns;
    std::string failure;
    ChildProcess partnerProcess;  // ended when this row ends, however it ends
    if (!partnerProcess.Start(TestFolder() + L"scenario_partner.exe", std::wstring(arguments.begin(), arguments.end()))) {
        failure = "cannot start scenario_partner.exe";
    } else if (!WaitPumping(ready, 30000)) {
        failure = "partner not ready";
    } else {
        turns.push_back(RunRow(editorA, pattern, placeA, Expect::Serves));
        SetEvent(turn);
        if (!WaitPumping(done, 30000)) failure = "partner's first turn did not end";
        // A's editor still takes typing after B took the subclass record.
        if (failure.empty()) {
            Prepare(editorA, Place(u"入力|"));
            SendMessageA(editorA, WM_CHAR, 'x', 1);
            PumpMessages();
            if (EditorText(editorA) != Utf16ToSjis(u"入力x"))
                failure = "editor A lost a typed character after B's turn: [" + SjisToUtf8(EditorText(editorA)) + "]";
            turns.push_back(RunRow(editorA, pattern, placeA, Expect::Serves));
            SetEvent(turn);
            if (!WaitPumping(done, 30000)) failure = "partner's second turn did not end";
        }
        SetEvent(turn);  // a third turn ends the partner
        DWORD code = 0;
        if (!partnerProcess.WaitExit(30000, &code, true)) failure = "partner did not exit";
        else if (code != 0 && failure.empty()) failure = "partner exited with " + std::to_string(code);
        partnerProcess.Kill();
    }
    // The partner's rows: verdict, record, before, after, note; one line per turn.
    std::vector<RowResult> partner;
    if (FILE* f = fopen(file, "rb")) {
        char buffer[8192];
        while (fgets(buffer, sizeof buffer, f)) {
            std::string text = buffer;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            std::vector<std::string> parts = Split(text, '\t');
            if (parts.size() < 5) continue;
            RowResult b;
            b.verdict = parts[0];
            b.record = parts[1];
            b.before = parts[2];
            b.after = parts[3];
            b.note = parts[4];
            for (size_t i = 5; i < parts.size(); ++i) b.details.push_back(parts[i]);
            partner.push_back(b);
        }
        fclose(f);
    }
    DeleteFileA(file);
    CloseHandle(ready);
    CloseHandle(turn);
    CloseHandle(done);
    if (failure.empty() && partner.size() != 2) failure = "partner reported " + std::to_string(partner.size()) + " turns";

    // One row for the whole exchange: the worst verdict of the four turns.
    std::vector<std::pair<std::string, const RowResult*>> all;
    for (size_t i = 0; i < turns.size(); ++i) all.push_back({"A" + std::to_string(i + 1), &turns[i]});
    for (size_t i = 0; i < partner.size(); ++i) all.push_back({"B" + std::to_string(i + 1), &partner[i]});
    row.verdict = failure.empty() ? "ok" : "FAIL";
    row.note = failure;
    for (auto& t : all) {
        const RowResult& r = *t.second;
        if (r.verdict == "FAIL") row.verdict = "FAIL";
        if (r.verdict != "ok") row.note += (row.note.empty() ? "" : "; ") + t.first + ": " + r.verdict + " " + r.note;
        row.record += (row.record.empty() ? "" : " / ") + t.first + " " + r.record;
        for (const std::string& d : r.details) row.details.push_back(t.first + " " + d);
        row.lostText = row.lostText || r.lostText;
    }
    if (!turns.empty()) {
        row.before = "A " + turns[0].before;
        row.after = "A " + turns.back().after;
    }
    if (!partner.empty()) {
        row.before += "; B " + partner[0].before;
        row.after += "; B " + partner.back().after;
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    const char* only = nullptr;
    bool unicodeOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
        if (strcmp(argv[i], "--unicode") == 0) unicodeOnly = true;
    }
    auto skipped = [&](const char* name, EditorKind editor) {
        return (only && !strstr(name, only)) || (unicodeOnly && strncmp(EditorName(editor), "Unicode", 7) != 0);
    };
    Output out;
    HWND frame = CreateFrame("RODAVOZI scenarios: the IME side");
    const EditorKind kinds[] = {EditorKind::Kvex,        EditorKind::KvexPassword,   EditorKind::SystemEdit,
                                EditorKind::UnicodeEdit, EditorKind::UnicodeEditTop, EditorKind::UnicodeEditDialog,
                                EditorKind::FeedingEdit, EditorKind::UnicodePassword, EditorKind::KvexStyle20,
                                EditorKind::UnicodeEditWrap, EditorKind::KvexUnderUnicode};
    HWND editors[sizeof kinds / sizeof kinds[0]] = {};
    for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        editors[i] = CreateEditor(frame, kinds[i]);
        if (!editors[i]) {
            fprintf(stderr, "scenario_peer: cannot create the editor %s\n", EditorName(kinds[i]));
            return 2;
        }
    }
    if (!frame) {
        fprintf(stderr, "scenario_peer: cannot create the frame\n");
        return 2;
    }
    PumpMessages();
    // The table declares its size first; the test checks the rows against it.
    const std::vector<Scenario> scenarios = Scenarios();
    size_t planned = 0;
    for (const Scenario& s : scenarios)
        if (!skipped(s.name, s.editor)) planned += s.patterns.size();
    for (const char* name : kTwoProcessRows)
        if (!skipped(name, EditorKind::Kvex)) planned += sizeof kCaretPatterns / sizeof kCaretPatterns[0];
    out.Line("rows planned: " + std::to_string(planned));
    out.Line("verdict  | pattern | scenario                                     | record | before  ->  after");
    for (const Scenario& s : scenarios) {
        if (skipped(s.name, s.editor)) continue;
        HWND editor = editors[0];
        for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i)
            if (kinds[i] == s.editor) editor = editors[i];
        std::string name = s.name;
        if (s.editor != EditorKind::Kvex && s.editor != EditorKind::KvexPassword)
            name += std::string(" (") + EditorName(s.editor) + ")";
        if (s.selectedChars) {
            std::vector<Cell> cells = SplitSjis(s.placement.text.substr(s.placement.selStart,
                                                                        s.placement.selEnd - s.placement.selStart));
            if (cells.size() != s.selectedChars) {
                RowResult bad;
                bad.verdict = "FAIL";
                bad.note = "the scenario's selection holds " + std::to_string(cells.size()) + " characters";
                out.Add("-", name, bad);
                continue;
            }
        }
        for (Pattern p : s.patterns)
            out.Add(PatternName(p), name, RunRow(editor, p, s.placement, s.expect, s.compose, s.withoutFill));
    }
    for (bool focus : {true, false}) {
        std::string name = kTwoProcessRows[focus ? 0 : 1];
        if (skipped(name.c_str(), EditorKind::Kvex)) continue;
        for (Pattern p : kCaretPatterns) out.Add(PatternName(p), name, TwoProcesses(editors[0], p, focus));
    }
    if (!out.details.empty()) {
        out.Line("");
        out.Line("details of the rows that are not plainly ok:");
        for (const std::string& d : out.details) out.Line(d);
    }
    char summary[200];
    snprintf(summary, sizeof summary, "summary: %d rows: %d ok, %d refused as designed, %d FAIL",
             out.rows, out.ok, out.refused, out.failed);
    out.Line("");
    out.Line(summary);
    for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i)
        if (GetParent(editors[i]) != frame) DestroyWindow(GetAncestor(editors[i], GA_ROOT));
    DestroyWindow(frame);
    return out.failed ? 1 : 0;
}
