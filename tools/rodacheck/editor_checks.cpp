#include "editor_checks.h"

#include <imm.h>
#include <string.h>

#include <algorithm>

namespace rodacheck {

using imeside::Encoding;
using imeside::RecordExchange;

namespace {

struct Way {
    UINT message;
    WPARAM code;  // the fill's wParam (a document feed's own code)
    const char* name;
};

std::string Quote(const std::wstring& text) { return "\"" + ToUtf8(text) + "\""; }

// How the request went: the registered message's name, or through which entry.
std::string WayName(const Way& way, HWND window, bool throughImm) {
    if (way.message != WM_IME_REQUEST) return way.name;
    std::string entry = IsWindowUnicode(window) ? "ImmRequestMessageW" : "ImmRequestMessageA";
    return std::string(way.name) + (throughImm ? " through " + entry : " sent directly (no input context)");
}

// The record string and the composition's start, in UTF-16 units.
std::wstring RecordText(const imeside::RecordView& view, uint32_t byteOffset, size_t* units) {
    if (view.encoding == Encoding::Utf16) {
        *units = byteOffset / 2;
        return std::wstring(view.wide.begin(), view.wide.end());
    }
    *units = FromCodePage(CP_ACP, view.ansi.substr(0, byteOffset)).size();
    return FromCodePage(CP_ACP, view.ansi);
}

std::string Join(const std::vector<std::string>& problems) {
    std::string out;
    for (const std::string& p : problems) out += (out.empty() ? "" : "; ") + p;
    return out;
}

bool IsRodavozi(const std::wstring& module) { return lstrcmpiW(FileName(module).c_str(), L"RODAVOZI.DLL") == 0; }

class EditorCheck {
public:
    EditorCheck(const CheckSetting& setting, const Editor& editor) : s_(setting), e_(editor) {}
    // Whether RODAVOZI.DLL answered any request of the editor, and else who did.
    bool servedByModule = false;
    std::string answeredBy;

    void Reconversion(const Way& way);
    void Feed(const Way& way);
    void PasswordRequest(const Way& way, bool feed);

private:
    // Whether any two characters of the editor's text stand in `bytes`, in
    // the ANSI code page or in UTF-16.
    bool HoldsText(const std::vector<uint8_t>& bytes) const {
        const std::string haystack(bytes.begin(), bytes.end());
        for (size_t i = 0; i + 2 <= e_.text.size(); ++i) {
            const std::wstring pair = e_.text.substr(i, 2);
            const std::string wide(reinterpret_cast<const char*>(pair.data()), 2 * sizeof(wchar_t));
            if (haystack.find(ToCodePage(CP_ACP, pair)) != std::string::npos ||
                haystack.find(wide) != std::string::npos)
                return true;
        }
        return false;
    }

    // Positions are the library's to get right in whatever units the control
    // counts (what it counts is a fact line of its own), so a wrong one fails.
    void PositionResult(bool right, const std::string& label, const std::string& seen) {
        s_.emit(right ? Status::Ok : Status::Fail, label + seen);
    }
    // Size query and fill; false (with a line) when there is no sound record.
    bool Fill(const Way& way, WPARAM code, RecordExchange* record, std::string* label);
    // Whether the record's string is the editor's text around the caret.
    bool AtCaret(const RecordExchange& record, size_t* stringStart);

    const CheckSetting& s_;
    const Editor& e_;
};

bool EditorCheck::Fill(const Way& way, WPARAM code, RecordExchange* record, std::string* label) {
    Reset(e_);
    const Encoding encoding =
        way.message == WM_IME_REQUEST && !IsWindowUnicode(e_.window) ? Encoding::Ansi : Encoding::Utf16;
    bool throughImm = false;
    bool served = imeside::RequestRecord(e_.window, way.message, code, encoding, record, &throughImm,
                                         encoding == Encoding::Ansi ? s_.leads : nullptr);
    *label = e_.name + ": " + (code == IMR_RECONVERTSTRING ? "reconversion" : "document feed") + ", " +
             WayName(way, e_.window, throughImm) + ": ";
    if (!served || record->answer == 0) {
        std::string seen = Format("nothing offered (size answer %ld, fill answer %ld)", long(record->sizeAnswer),
                                  long(record->answer));
        if (!record->problems.empty()) seen += ": " + Join(record->problems);
        if (!e_.doubleByte && record->problems.empty())
            s_.emit(Status::NotApplicable, *label + seen + "; the library offers double-byte text only");
        else
            s_.emit(Status::Fail, *label + seen);
        return false;
    }
    // A record from the control itself or a procedure of the program is no
    // proof of the module: who answered is told by the procedure on top.
    // An empty string offers nothing.
    const std::wstring module = ProcedureModule(e_.window);
    if (record->view.header.dwStrLen == 0) {
    } else if (IsRodavozi(module)) {
        servedByModule = true;
        ++s_.tally->offered;
        if (std::find(s_.tally->modules.begin(), s_.tally->modules.end(), module) == s_.tally->modules.end())
            s_.tally->modules.push_back(module);
    } else {
        answeredBy = module.empty() ? "a procedure in no module" : ToUtf8(FileName(module));
    }
    if (!record->problems.empty()) {
        s_.emit(Status::Fail, *label + EncodingName(encoding) + " record unsound: " + Join(record->problems) + " (" +
                                  record->Describe() + ")");
        return false;
    }
    return true;
}

bool EditorCheck::AtCaret(const RecordExchange& record, size_t* stringStart) {
    size_t caretInString = 0;
    std::wstring string = RecordText(record.view, record.view.composition.offset, &caretInString);
    *stringStart = e_.caret >= caretInString ? e_.caret - caretInString : 0;
    return record.view.composition.length == 0 && e_.caret >= caretInString &&
           e_.text.compare(*stringStart, string.size(), string) == 0;
}

void EditorCheck::Reconversion(const Way& way) {
    RecordExchange fill;
    std::string label;
    if (!Fill(way, IMR_RECONVERTSTRING, &fill, &label)) return;
    size_t caretInString = 0, start = 0;
    const std::wstring string = RecordText(fill.view, fill.view.composition.offset, &caretInString);
    const bool atCaret = AtCaret(fill, &start);
    PositionResult(atCaret, label,
                   Format("fill: %s record sound (dwSize %u), string ", EncodingName(fill.view.encoding),
                          fill.view.header.dwSize) +
                       Quote(string) +
                       Format(", composition at %u, length %u: ", fill.view.header.dwCompStrOffset,
                              fill.view.header.dwCompStrLen) +
                       (atCaret ? "the text around the caret" : "not the text around the caret"));
    if (!atCaret) return;

    // The IME reconverts the two characters before the caret.
    const std::vector<imeside::Cell>& cells = fill.view.cells;
    size_t at = 0;
    while (at < cells.size() && cells[at].offset < fill.view.composition.offset) ++at;
    if (at < 2) {
        s_.emit(Status::Fail, label + "confirmation: fewer than two characters offered before the caret");
        return;
    }
    const imeside::Cell& first = cells[at - 2];
    const uint32_t compBytes = cells[at - 1].offset + cells[at - 1].size - first.offset;
    const uint32_t unit = fill.view.encoding == Encoding::Utf16 ? 2 : 1;
    RecordExchange confirm = fill;
    imeside::RecordHeader header = fill.view.header;
    header.dwCompStrOffset = header.dwTargetStrOffset = first.offset;
    header.dwCompStrLen = header.dwTargetStrLen = compBytes / unit;
    memcpy(confirm.bytes.data(), &header, sizeof header);
    size_t compStart = 0, compEnd = 0;
    RecordText(fill.view, first.offset, &compStart);
    RecordText(fill.view, first.offset + compBytes, &compEnd);
    compStart += start;
    compEnd += start;
    const std::wstring composition = e_.text.substr(compStart, compEnd - compStart);

    LRESULT answer = imeside::SendImeRequest(e_.window, way.message, IMR_CONFIRMRECONVERTSTRING,
                                             reinterpret_cast<LPARAM>(confirm.bytes.data()), nullptr);
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(e_.window, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    const size_t size = fill.bytes.size() - imeside::GUARD_BYTES;
    std::vector<std::string> problems =
        imeside::CheckRecord(confirm.bytes.data(), size, fill.view.encoding, 0, &confirm.view,
                             fill.view.encoding == Encoding::Ansi ? s_.leads : nullptr);
    if (!problems.empty()) {
        s_.emit(Status::Fail, label + "confirmation left the record unsound: " + Join(problems));
        return;
    }
    const DWORD wantStart = ControlPosition(e_, compStart), wantEnd = ControlPosition(e_, compEnd);
    const bool selected = answer != 0 && selStart == wantStart && selEnd == wantEnd;
    if (answer == 0) {
        s_.emit(Status::Fail, label + "confirmation of " + Quote(composition) + " answered 0");
        return;
    }
    PositionResult(selected, label,
                   "confirmation of " + Quote(composition) +
                       Format(": answer %ld, the control selects %lu to %lu", long(answer), selStart, selEnd) +
                       (selected ? ", exactly the composition"
                                 : Format("; the composition is %lu to %lu", wantStart, wantEnd)));
    if (!selected) return;

    // The result replaces the selection. Not as WM_IME_CHAR: under Wine a
    // double-byte WM_IME_CHAR to an ANSI EDIT arrives as two characters.
    const std::wstring result = L"[" + composition + L"]";
    SendMessageW(e_.window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(result.c_str()));
    const std::wstring want = e_.text.substr(0, compStart) + result + e_.text.substr(compEnd);
    const std::wstring got = EditorText(e_.window);
    if (got == want)
        s_.emit(Status::Ok, label + "result " + Quote(result) + " in place of the composition, the rest unchanged");
    else
        s_.emit(Status::Fail, label + "result " + Quote(result) + ": the text became " + Quote(got) + ", not " +
                                  Quote(want));
}

void EditorCheck::Feed(const Way& way) {
    RecordExchange record;
    std::string label;
    if (!Fill(way, way.code, &record, &label)) return;
    size_t caretInString = 0, start = 0;
    const std::wstring string = RecordText(record.view, record.view.composition.offset, &caretInString);
    // Only double-byte text is offered: with none, the string is empty.
    const bool atCaret = AtCaret(record, &start) && string.empty() != e_.doubleByte;
    if (atCaret && string.empty()) {
        s_.emit(Status::NotApplicable, label + Format("%s record sound, its string empty: no double-byte text to offer",
                                                      EncodingName(record.view.encoding)));
        return;
    }
    PositionResult(atCaret, label,
                   Format("%s record sound (dwSize %u), string ", EncodingName(record.view.encoding),
                          record.view.header.dwSize) +
                       Quote(string) + Format(", caret at %u: ", record.view.header.dwCompStrOffset) +
                       (!atCaret            ? "not the text around the caret"
                        : string.empty()    ? "no double-byte text to offer"
                                            : "the text around the caret"));
}

void EditorCheck::PasswordRequest(const Way& way, bool feed) {
    Reset(e_);
    const Encoding encoding =
        way.message == WM_IME_REQUEST && !IsWindowUnicode(e_.window) ? Encoding::Ansi : Encoding::Utf16;
    RecordExchange record;
    bool throughImm = false;
    const WPARAM code = feed ? way.code : IMR_RECONVERTSTRING;
    bool served = imeside::RequestRecord(e_.window, way.message, code, encoding, &record, &throughImm,
                                         encoding == Encoding::Ansi ? s_.leads : nullptr);
    std::string label = e_.name + ": " + (feed ? "document feed" : "reconversion") + ", " +
                        WayName(way, e_.window, throughImm) + ": ";
    if ((!served || record.answer == 0) && !HoldsText(record.bytes)) {
        // Silence proves something only where the module offers text elsewhere.
        const std::string seen = Format("nothing offered (size answer %ld, fill answer %ld)", long(record.sizeAnswer),
                                        long(record.answer));
        if (s_.tally->offered > 0)
            s_.emit(Status::Ok, label + seen);
        else
            s_.emit(Status::NotApplicable, label + seen + ", as in every editor before it: this tells nothing");
        return;
    }
    if (record.answer == 0) {
        s_.emit(Status::Fail, label + "fill answered 0, but the password's text is in the record");
        return;
    }
    size_t caret = 0;
    s_.emit(Status::Fail, label + "offered " + Quote(RecordText(record.view, 0, &caret)) + " (" +
                              record.Describe() + ")");
}

}  // namespace

void CheckEditor(const CheckSetting& setting, const Editor& editor) {
    const imeside::ImeMessages& m = setting.messages;
    const Way reconversions[] = {
        {WM_IME_REQUEST, IMR_RECONVERTSTRING, "WM_IME_REQUEST"},
        {m.msImeReconvert, IMR_RECONVERTSTRING, "MSIMEReconvert"},
        {m.atokReconvert, IMR_RECONVERTSTRING, "Atok Message for ReconvertString"},
    };
    const Way feeds[] = {
        {WM_IME_REQUEST, IMR_DOCUMENTFEED, "WM_IME_REQUEST IMR_DOCUMENTFEED"},
        {m.msImeDocumentFeed, 1, "MSIMEDocumentFeed"},
        {m.atokDocumentFeed, 0, "Atok Message for DocumentFeed"},
    };
    EditorCheck check(setting, editor);
    for (const Way& way : reconversions) editor.password ? check.PasswordRequest(way, false) : check.Reconversion(way);
    for (const Way& way : feeds) editor.password ? check.PasswordRequest(way, true) : check.Feed(way);
    // An editor without double-byte text to offer (an ANSI one where another
    // code page is worked in) is not the module's to serve.
    if (!editor.password && editor.doubleByte && !check.servedByModule)
        setting.tally->notServed.push_back(
            editor.name + (check.answeredBy.empty() ? " (nothing offered)" : " (answered by " + check.answeredBy + ")"));
}

void CheckServed(const CheckSetting& setting, size_t editors) {
    const Tally& tally = *setting.tally;
    std::string modules;
    for (const std::wstring& module : tally.modules) modules += (modules.empty() ? "" : ", ") + ToUtf8(module);
    std::string notServed;
    for (const std::string& editor : tally.notServed) notServed += (notServed.empty() ? "" : "; ") + editor;
    const size_t served = editors - tally.notServed.size();
    if (editors == 0)
        setting.emit(Status::NotApplicable, "RODAVOZI.DLL served no editor: there is no double-byte text to offer");
    else if (tally.notServed.empty())
        setting.emit(Status::Ok, Format("RODAVOZI.DLL served all %u editors: ", unsigned(served)) + modules);
    else
        setting.emit(Status::Fail, Format("RODAVOZI.DLL served %u of %u editors", unsigned(served), unsigned(editors)) +
                                       (modules.empty() ? "" : " (" + modules + ")") + "; not: " + notServed);
}

}  // namespace rodacheck
