#include "scenario_support.h"

#include <stdio.h>
#include <string.h>

#include "common/test_text.h"
#include "kvexedit.h"
#include "support/edit_dialog.h"

using namespace imeside;

namespace {

const char kFrameClass[] = "rodavozi scenario frame";

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string Join(const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& p : parts) all += (all.empty() ? "" : "; ") + p;
    return all;
}

std::string Number(long long value) { return std::to_string(value); }

// Where the record's string starts in the editor's text: a selection is
// offered from its start, a caret context around the caret, whose offset in
// the string is the (empty) composition's offset.
uint32_t StringStart(const Placement& p, const RecordView& view) {
    return p.IsCaret() ? p.selStart - view.composition.offset : p.selStart;
}

// The checks of a filled record against the editor it came from.
void MatchEditor(const std::string& what, const Placement& p, const std::string& before, const RecordView& view,
                 std::vector<std::string>* mismatches) {
    const std::string sjis = RecordSjis(view);
    const uint32_t start = StringStart(p, view);
    if (start > before.size() || !TextHoldsAt(before, sjis, start)) {
        mismatches->push_back(what + " string [" + SjisToUtf8(sjis) + "] is not the editor's text at byte " +
                              Number(start));
        return;
    }
    if (p.IsCaret()) {
        if (view.composition.length != 0 || view.target.offset != view.composition.offset || view.target.length != 0)
            mismatches->push_back(what + ": a caret should come as an empty composition and target at the caret");
    } else {
        // A selection is offered whole, as composition and target.
        uint32_t whole = uint32_t(view.encoding == Encoding::Ansi ? sjis.size() : view.wide.size() * 2);
        if (!(view.composition == ByteRange{0, whole}) || !(view.target == view.composition))
            mismatches->push_back(what + ": a selection should be the whole string as composition and target");
    }
}

}  // namespace

Placement Place(const std::u16string& marked) {
    Placement p;
    const MarkedText m = ParseMarks(marked);
    p.text = Utf16ToSjis(m.plain);
    p.wide = m.plain;
    p.selStart = uint32_t(Utf16ToSjis(m.plain.substr(0, m.start)).size());
    p.selEnd = uint32_t(Utf16ToSjis(m.plain.substr(0, m.end)).size());
    p.wideStart = uint32_t(m.start);
    p.wideEnd = uint32_t(m.end);
    return p;
}

Placement PlaceAfterFiller(const std::u16string& marked, size_t filler) {
    Placement p = Place(marked);
    const std::string pad = Letters(filler);
    p.text = pad + p.text;
    p.selStart += uint32_t(filler);
    p.selEnd += uint32_t(filler);
    p.wide = std::u16string(pad.begin(), pad.end()) + p.wide;
    p.wideStart += uint32_t(filler);
    p.wideEnd += uint32_t(filler);
    return p;
}

Placement PlaceInLines(const std::u16string& marked, size_t before, size_t after) {
    std::u16string head, tail;
    while (head.size() < before) head += u"漢字の行abcdefghijklmnopqrstuvwxyz\r\n";
    while (tail.size() < after) tail += u"\r\n漢字の行abcdefghijklmnopqrstuvwxyz";
    return Place(head + marked + tail);
}

const char* EditorName(EditorKind kind) {
    switch (kind) {
    case EditorKind::Kvex: return "kvexedit";
    case EditorKind::KvexPassword: return "kvexedit, password";
    case EditorKind::SystemEdit: return "EDIT";
    case EditorKind::UnicodeEdit: return "Unicode EDIT";
    case EditorKind::UnicodeEditTop: return "Unicode EDIT, top-level";
    case EditorKind::UnicodeEditDialog: return "Unicode EDIT in a dialog";
    case EditorKind::FeedingEdit: return "Unicode EDIT feeding itself";
    case EditorKind::UnicodePassword: return "Unicode EDIT, password";
    case EditorKind::KvexStyle20: return "kvexedit, style bit 0x20";
    case EditorKind::UnicodeEditWrap: return "Unicode EDIT, wrapping";
    case EditorKind::KvexUnderUnicode: return "kvexedit under a Unicode procedure";
    }
    return "?";
}

HWND CreateFrame(const char* title) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassA(&wc);
    HWND frame = CreateWindowA(kFrameClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 240, nullptr,
                               nullptr, wc.hInstance, nullptr);
    return frame;
}

namespace {

// The application's own document feed on a "FeedingEdit": a fixed string.
const char16_t kOwnFeed[] = u"自前の文脈";
WNDPROC g_feedingEditProc, g_kvexBelow;

LRESULT CALLBACK ForwardW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(g_kvexBelow, window, message, wParam, lParam);
}

LRESULT CALLBACK FeedingEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IME_REQUEST && wParam == IMR_DOCUMENTFEED) {
        const uint32_t units = uint32_t(std::char_traits<char16_t>::length(kOwnFeed));
        const uint32_t size = RECORD_HEADER_SIZE + 2 * (units + 1);
        if (lParam == 0) return size;
        RecordHeader header = {size, 0, units, RECORD_HEADER_SIZE, 0, 2 * units, 0, 2 * units};
        uint8_t* record = reinterpret_cast<uint8_t*>(lParam);
        memcpy(record, &header, sizeof header);
        memcpy(record + RECORD_HEADER_SIZE, kOwnFeed, 2 * (units + 1));
        return size;
    }
    return CallWindowProcW(g_feedingEditProc, window, message, wParam, lParam);
}

}  // namespace

HWND CreateEditor(HWND frame, EditorKind kind) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterKvexEditClass(instance);
    static int row = 0;
    int y = 8 + (row++ % 4) * 50;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOHSCROLL;
    HWND edit = nullptr;
    switch (kind) {
    case EditorKind::SystemEdit:
        edit = CreateWindowExA(0, "EDIT", "", style, 8, y, 600, 44, frame, nullptr, instance, nullptr);
        break;
    case EditorKind::UnicodeEditWrap:  // narrow: a soft break within a few characters of any caret
        edit = CreateWindowExW(0, L"EDIT", L"", (style & ~ES_AUTOHSCROLL) | ES_AUTOVSCROLL | WS_VSCROLL, 8, y, 90, 44,
                               frame, nullptr, instance, nullptr);
        break;
    case EditorKind::UnicodeEdit:
    case EditorKind::FeedingEdit:
        // Scrolling: a multi-line EDIT without it refuses typing once its
        // text no longer fits the window, and Wine's then garbles the text.
        edit = CreateWindowExW(0, L"EDIT", L"", style | ES_AUTOVSCROLL | WS_VSCROLL, 8, y, 600, 44, frame, nullptr,
                               instance, nullptr);
        break;
    case EditorKind::UnicodePassword:
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_PASSWORD, 8, y,
                               600, 44, frame, nullptr, instance, nullptr);
        break;
    case EditorKind::KvexStyle20: {
        // Another class may use the bit for something else: set after
        // creation, it gives this editor no password character.
        HWND kvex = CreateWindowExA(0, KVEXEDIT_CLASS, "", style, 8, y, 600, 44, frame, nullptr, instance, nullptr);
        if (kvex) SetWindowLongA(kvex, GWL_STYLE, GetWindowLongA(kvex, GWL_STYLE) | ES_PASSWORD);
        return kvex;
    }
    case EditorKind::UnicodeEditTop:
        edit = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_AUTOHSCROLL, 700, 40, 400, 80,
                               nullptr, nullptr, instance, nullptr);
        break;
    case EditorKind::UnicodeEditDialog:
        edit = EditInADialog();
        break;
    case EditorKind::KvexUnderUnicode:
        edit = CreateWindowExA(0, KVEXEDIT_CLASS, "", style, 8, y, 600, 44, frame, nullptr, instance, nullptr);
        g_kvexBelow = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, LONG_PTR(ForwardW)));
        return edit;
    case EditorKind::Kvex:
    case EditorKind::KvexPassword:
        if (kind == EditorKind::KvexPassword) style = (style & ~ES_MULTILINE) | ES_PASSWORD;
        return CreateWindowExA(0, KVEXEDIT_CLASS, "", style, 8, y, 600, 44, frame, nullptr, instance, nullptr);
    }
    if (edit) SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);  // no limit below the system's own
    if (edit && kind == EditorKind::FeedingEdit)
        g_feedingEditProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FeedingEditProc)));
    return edit;
}

bool g_prepareTakesFocus = true;

void Prepare(HWND editor, const Placement& p) {
    char name[16] = {};
    GetClassNameA(editor, name, sizeof name);
    if (IsWindowUnicode(editor)) {  // positions in UTF-16 units, but kvexedit's in bytes
        SetWindowTextW(editor, reinterpret_cast<const wchar_t*>(p.wide.c_str()));
        bool bytes = lstrcmpiA(name, KVEXEDIT_CLASS) == 0;
        SendMessageW(editor, EM_SETSEL, bytes ? p.selStart : p.wideStart, bytes ? p.selEnd : p.wideEnd);
    } else {
        SetWindowTextA(editor, p.text.c_str());
        SendMessageA(editor, EM_SETSEL, p.selStart, p.selEnd);
    }
    if (g_prepareTakesFocus) SetFocus(editor);
    Pump();
}

namespace {

std::string Marked(const Placement& p) {
    std::string text = p.text;
    if (p.IsCaret()) {
        text.insert(p.selStart, "|");
    } else {
        text.insert(p.selEnd, "]");
        text.insert(p.selStart, "[");
    }
    return Shown(text, p.selStart);
}

}  // namespace

RowResult RunRow(HWND editor, Pattern pattern, const Placement& p, Expect expect, Compose compose, bool withoutFill) {
    RowResult row;
    Prepare(editor, p);
    const std::string before = EditorText(editor);
    const DWORD selectionBefore = static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0));
    row.before = Marked(p);
    std::vector<std::string> problems, mismatches;
    if (before != p.text) mismatches.push_back("the editor holds " + Number(before.size()) + " bytes, not the " +
                                               Number(p.text.size()) + " set");
    ImeClient ime(editor);
    if (!ime.HasInputContext()) row.details.push_back("the window has no input context");
    std::string offered;  // the text of every string the DLL handed out

    std::string feedNote;
    if (PatternFeeds(pattern)) {
        DocumentFeed feed = ime.Feed(pattern);
        row.details.push_back("feed: size " + Number(feed.record.sizeAnswer) + ", " + feed.record.Describe());
        problems.insert(problems.end(), feed.record.problems.begin(), feed.record.problems.end());
        if (!feed.served) {
            feedNote = "feed unanswered";
        } else if (feed.record.answer == 0) {
            feedNote = "feed 0";
        } else if (feed.record.problems.empty() && expect == Expect::OwnFeedWins) {
            if (feed.record.view.wide != kOwnFeed)
                mismatches.push_back("feed: [" + Utf16ToUtf8(feed.record.view.wide) + "], not the control's own");
            feedNote = "own feed";
        } else if (feed.record.problems.empty()) {
            MatchEditor("feed", p, before, feed.record.view, &mismatches);
            offered += RecordSjis(feed.record.view);
            feedNote = "feed ok";
        }
    }

    Reconversion r = withoutFill ? ime.ConfirmWithoutFill(pattern) : ime.Reconvert(pattern, compose);
    row.details.push_back("fill: size " + Number(r.fill.sizeAnswer) + ", " + r.fill.Describe());
    if (r.confirmSent) {
        DWORD sel = r.selectionAfterConfirm;
        row.details.push_back(std::string(r.widened ? "widened " : "") + "confirm: " + r.confirm.Describe() +
                              "; editor selection then " + Number(LOWORD(sel)) + ".." + Number(HIWORD(sel)));
    }
    problems.insert(problems.end(), r.fill.problems.begin(), r.fill.problems.end());
    problems.insert(problems.end(), r.confirm.problems.begin(), r.confirm.problems.end());
    if (r.filled && r.fill.problems.empty()) {
        MatchEditor("fill", p, before, r.fill.view, &mismatches);
        offered += RecordSjis(r.fill.view);
        if (!p.IsCaret()) {
            size_t selected = p.selEnd - p.selStart, got = RecordSjis(r.fill.view).size();
            if (got < selected)
                row.details.push_back("the record holds " + Number(got) + " of the " + Number(selected) +
                                      " selected bytes");
        }
    }
    const std::string after = EditorText(editor);

    TextVerdict text;
    uint32_t intendedStart = 0;
    if (r.delivered) {
        intendedStart = StringStart(p, r.fill.view) + r.used.offset;
        text = CheckReplacement(before, after, intendedStart, r.used.length, Utf16ToSjis(r.result));
        row.details.push_back("composition [" + Utf16ToUtf8(r.composition) + "] = editor bytes " +
                              Number(intendedStart) + ".." + Number(intendedStart + r.used.length) + ", result [" +
                              Utf16ToUtf8(r.result) + "]");
    } else {
        text = CheckReplacement(before, after, p.selStart, 0, "");
        if (!r.stopped.empty()) row.details.push_back("the IME stopped: " + r.stopped);
    }
    row.after = Shown(after, intendedStart ? intendedStart : p.selStart);
    if (text.outcome != TextOutcome::Replaced) row.details.push_back("text: " + text.description);

    // The record column.
    if (!problems.empty())
        row.record = "bad: " + Join(problems);
    else if (!mismatches.empty())
        row.record = "wrong text: " + Join(mismatches);
    else if (withoutFill)
        row.record = "confirmation only";
    else if (!r.served)
        row.record = "no answer";
    else if (!r.filled)
        row.record = "refused (fill 0)";
    else
        row.record = r.widened ? "ok, widened" : "ok";
    if (!feedNote.empty()) row.record = feedNote + ", " + row.record;
    if (r.throughImm) row.record = "imm32: " + row.record;

    // The verdict.
    const bool textAsMeant = text.outcome == TextOutcome::Replaced;
    if (!problems.empty() || !mismatches.empty()) {
        row.verdict = "FAIL";
        row.note = problems.empty() ? "record does not match the editor" : "unsound record";
    } else if (expect == Expect::Serves && PatternFeeds(pattern) && feedNote != "feed ok") {
        row.verdict = "FAIL";
        row.note = "the document feed was not answered (" + feedNote + ")";
    } else if (!textAsMeant) {
        row.lostText = text.LostText();
        row.verdict = "FAIL";
        row.note = std::string(TextOutcomeName(text.outcome)) + ": " + text.description;
    } else if (expect == Expect::ProtectsPassword && !offered.empty()) {
        row.verdict = "FAIL";
        row.note = "the password field's characters [" + SjisToUtf8(offered) + "] were handed to the IME";
    } else if (expect == Expect::SelectsNothing) {
        const bool kept = r.confirmSent && (withoutFill || r.filled) && !r.delivered &&
                          r.selectionAfterConfirm == selectionBefore;
        row.verdict = kept ? "ok" : "FAIL";
        row.note = kept ? "nothing selected" : "the confirmation selected " + Number(LOWORD(r.selectionAfterConfirm)) +
                                                   ".." + Number(HIWORD(r.selectionAfterConfirm)) + "; " + r.stopped;
    } else if (!r.filled) {
        row.verdict = expect == Expect::Refuses || expect == Expect::ProtectsPassword ? "refused" : "FAIL";
        row.note = r.stopped;
    } else if (expect == Expect::Refuses) {
        row.verdict = "FAIL";
        row.note = "served although it must be refused";
    } else if (!r.delivered) {
        bool emptyComposition = r.stopped == "empty composition: nothing to reconvert";
        row.verdict = emptyComposition && p.IsCaret() ? "ok" : "FAIL";
        row.note = r.stopped;
    } else {
        row.verdict = "ok";
    }
    return row;
}

std::string FormatRow(const std::string& pattern, const std::string& scenario, const RowResult& row) {
    char head[200];
    snprintf(head, sizeof head, "%-8s | %-7s | %-44s | ", row.verdict.c_str(), pattern.c_str(), scenario.c_str());
    std::string line = head + row.record + " | " + row.before + "  ->  " + row.after;
    if (!row.note.empty()) line += "  (" + row.note + ")";
    if (row.lostText) line += "  [TEXT LOST]";
    return line;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

