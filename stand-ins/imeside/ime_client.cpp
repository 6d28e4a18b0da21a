#include "ime_client.h"

#include <imm.h>
#include <string.h>

#include "candidates.h"

namespace imeside {

std::string Utf16ToSjis(const std::u16string& text) {
    if (text.empty()) return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    int n = WideCharToMultiByte(932, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(932, 0, wide, int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::u16string SjisToUtf16(const std::string& text) {
    if (text.empty()) return std::u16string();
    int n = MultiByteToWideChar(932, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(n, u'\0');
    MultiByteToWideChar(932, 0, text.data(), int(text.size()), reinterpret_cast<wchar_t*>(&out[0]), n);
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    if (text.empty()) return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string SjisToUtf8(const std::string& text) { return Utf16ToUtf8(SjisToUtf16(text)); }

const char* PatternName(Pattern pattern) {
    switch (pattern) {
    case Pattern::Imm: return "imm";
    case Pattern::MsIme: return "msime";
    case Pattern::Atok: return "atok";
    case Pattern::Widen: return "widen";
    case Pattern::Widen16: return "widen16";
    case Pattern::Current: return "current";
    }
    return "?";
}

Encoding PatternEncoding(Pattern pattern, HWND window) {
    bool windowRequest = pattern == Pattern::Imm || pattern == Pattern::Widen || pattern == Pattern::Current;
    return windowRequest && !IsWindowUnicode(window) ? Encoding::Ansi : Encoding::Utf16;
}

bool PatternWidens(Pattern pattern) {
    return pattern == Pattern::Widen || pattern == Pattern::Widen16 || pattern == Pattern::Current;
}

bool PatternFeeds(Pattern pattern) {
    return pattern == Pattern::MsIme || pattern == Pattern::Atok || pattern == Pattern::Current;
}

const char* ComposeName(Compose compose) {
    switch (compose) {
    case Compose::AsOffered: return "as offered";
    case Compose::BeforeCaret: return "before the caret";
    case Compose::AtCaret: return "at the caret";
    case Compose::AfterCaret: return "after the caret";
    case Compose::SelectionStart: return "at the selection's start";
    case Compose::SelectionMiddle: return "in the selection's middle";
    case Compose::SelectionEnd: return "at the selection's end";
    case Compose::LongerThanOffered: return "longer than offered";
    case Compose::AbsurdLength: return "absurd length";
    }
    return "?";
}

bool ComposeOutsideTheString(Compose compose) {
    return compose == Compose::LongerThanOffered || compose == Compose::AbsurdLength;
}

ImeClient::ImeClient(HWND window) : window_(window), messages_(ImeMessages::Register()) {}

LRESULT ImeClient::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    bool throughImm = false;
    LRESULT answer = SendImeRequest(window_, message, wParam, lParam, &throughImm);
    throughImm_ = throughImm_ || throughImm;
    return answer;
}

UINT ImeClient::ReconvertMessage(Pattern pattern) const {
    if (pattern == Pattern::MsIme || pattern == Pattern::Widen16) return messages_.msImeReconvert;
    if (pattern == Pattern::Atok) return messages_.atokReconvert;
    return WM_IME_REQUEST;
}

bool ImeClient::HasInputContext() const {
    HIMC context = ImmGetContext(window_);
    if (!context) return false;
    ImmReleaseContext(window_, context);
    return true;
}

bool ImeClient::Request(UINT message, WPARAM fillCode, Encoding encoding, RecordExchange* exchange) {
    bool throughImm = false;
    bool served = RequestRecord(window_, message, fillCode, encoding, exchange, &throughImm);
    throughImm_ = throughImm_ || throughImm;
    return served;
}

namespace {

// The composition `compose` picks from the cells of the string offered, the
// caret (or a selection's start) at byte `caret`. False when the string has
// too few characters for it.
bool Pick(Compose compose, const std::vector<Cell>& cells, uint32_t caret, uint32_t stringBytes, ByteRange* out) {
    size_t at = 0;
    while (at < cells.size() && cells[at].offset < caret) ++at;
    auto range = [&](size_t first, size_t count) {
        if (first + count > cells.size() || count == 0) return false;
        out->offset = cells[first].offset;
        out->length = cells[first + count - 1].offset + cells[first + count - 1].size - out->offset;
        return true;
    };
    switch (compose) {
    case Compose::BeforeCaret: return at >= 2 && range(at - 2, 2);
    case Compose::AtCaret: return range(at, 2);
    case Compose::AfterCaret: return range(at + 1, 2);
    case Compose::SelectionStart: return cells.size() >= 3 && range(0, 2);
    case Compose::SelectionMiddle: return cells.size() >= 4 && range(1, cells.size() - 2);
    case Compose::SelectionEnd: return cells.size() >= 3 && range(cells.size() - 2, 2);
    case Compose::LongerThanOffered:
        *out = ByteRange{0, stringBytes + (cells.empty() ? 2 : cells.back().size)};
        return true;
    case Compose::AbsurdLength:
        *out = ByteRange{0, 0x7FFFFFFF};
        return true;
    case Compose::AsOffered: break;
    }
    return false;
}

}  // namespace

Reconversion ImeClient::Reconvert(Pattern pattern, Compose compose) {
    Reconversion r;
    r.pattern = pattern;
    throughImm_ = false;
    const Encoding encoding = PatternEncoding(pattern, window_);
    const UINT message = ReconvertMessage(pattern);

    r.served = Request(message, IMR_RECONVERTSTRING, encoding, &r.fill);
    r.throughImm = throughImm_;
    if (!r.served) {
        r.stopped = r.fill.problems.empty() ? "size query not answered" : "size answer unusable";
        return r;
    }
    if (r.fill.answer == 0) {
        r.stopped = "fill answered 0: nothing offered";
        return r;
    }
    r.filled = true;
    if (!r.fill.problems.empty()) {
        r.stopped = "record rejected";
        return r;
    }

    // The confirmation carries the record as the IME adjusted it; the filled
    // record stays as it was for the report.
    r.confirm = r.fill;
    const RecordView& offered = r.fill.view;
    const uint32_t unit = encoding == Encoding::Utf16 ? 2 : 1;
    if (compose != Compose::AsOffered) {
        ByteRange chosen;
        if (!Pick(compose, offered.cells, offered.composition.offset, offered.StringBytes(), &chosen)) {
            r.stopped = std::string("no composition ") + ComposeName(compose);
            return r;
        }
        RecordHeader header = offered.header;
        header.dwCompStrOffset = header.dwTargetStrOffset = chosen.offset;
        header.dwCompStrLen = header.dwTargetStrLen =
            chosen.length == 0x7FFFFFFF ? chosen.length : chosen.length / unit;
        memcpy(r.confirm.bytes.data(), &header, sizeof header);
        r.widened = true;
    } else if (offered.composition.length == 0) {
        if (!PatternWidens(pattern)) {
            r.stopped = "empty composition: nothing to reconvert";
            return r;
        }
        ByteRange word;
        if (!WordAtCaret(offered.cells, offered.composition.offset, &word)) {
            r.stopped = "no word at the caret";
            return r;
        }
        RecordHeader header = offered.header;
        header.dwCompStrOffset = header.dwTargetStrOffset = word.offset;
        header.dwCompStrLen = header.dwTargetStrLen = word.length / unit;
        memcpy(r.confirm.bytes.data(), &header, sizeof header);
        r.widened = true;
    }
    r.confirmSent = true;
    r.confirmAnswer = Send(message, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(r.confirm.bytes.data()));
    r.confirm.answer = r.confirmAnswer;
    r.selectionAfterConfirm = static_cast<DWORD>(SendMessageA(window_, EM_GETSEL, 0, 0));
    if (ComposeOutsideTheString(compose)) {
        r.stopped = "composition outside the string: nothing delivered";
        return r;
    }
    const size_t size = r.fill.bytes.size() - GUARD_BYTES;
    r.confirm.problems = CheckRecord(r.confirm.bytes.data(), size, encoding, 0, &r.confirm.view);
    if (!r.confirm.problems.empty()) {
        r.stopped = "record unsound after the confirmation";
        return r;
    }
    // A nonzero answer accepts the record as confirmed; zero means the IME
    // goes on with the record as the window filled it.
    const RecordView& used = r.confirmAnswer ? r.confirm.view : offered;
    r.used = used.composition;
    if (r.used.length == 0) {
        r.stopped = r.confirmAnswer ? "confirmed composition is empty" : "confirmation declined";
        return r;
    }
    if (encoding == Encoding::Ansi)
        r.composition = SjisToUtf16(used.ansi.substr(r.used.offset, r.used.length));
    else
        r.composition = used.wide.substr(r.used.offset / 2, r.used.length / 2);
    r.result = FirstCandidate(r.composition);
    Deliver(r.result);
    r.delivered = true;
    return r;
}

Reconversion ImeClient::ConfirmWithoutFill(Pattern pattern) {
    Reconversion r;
    r.pattern = pattern;
    const Encoding encoding = PatternEncoding(pattern, window_);
    const std::u16string word = u"変換";
    std::string string = encoding == Encoding::Ansi
                             ? Utf16ToSjis(word) + std::string(1, '\0')
                             : std::string(reinterpret_cast<const char*>(word.c_str()), 2 * word.size() + 2);
    const uint32_t length = uint32_t(encoding == Encoding::Ansi ? string.size() - 1 : word.size());
    RecordHeader header = {RECORD_HEADER_SIZE + uint32_t(string.size()), 0, length, RECORD_HEADER_SIZE, length, 0,
                           length, 0};
    r.confirm.bytes.assign(sizeof header, 0);
    memcpy(r.confirm.bytes.data(), &header, sizeof header);
    r.confirm.bytes.insert(r.confirm.bytes.end(), string.begin(), string.end());
    r.confirm.view.encoding = encoding;
    r.confirmSent = true;
    throughImm_ = false;
    r.confirmAnswer = Send(ReconvertMessage(pattern), IMR_CONFIRMRECONVERTSTRING,
                           reinterpret_cast<LPARAM>(r.confirm.bytes.data()));
    r.throughImm = throughImm_;
    r.confirm.answer = r.confirmAnswer;
    r.selectionAfterConfirm = static_cast<DWORD>(SendMessageA(window_, EM_GETSEL, 0, 0));
    r.stopped = "confirmation without a fill: nothing delivered";
    return r;
}

DocumentFeed ImeClient::Feed(Pattern pattern) {
    DocumentFeed feed;
    if (pattern == Pattern::Current)
        feed.served = Request(WM_IME_REQUEST, IMR_DOCUMENTFEED, PatternEncoding(pattern, window_), &feed.record);
    else if (pattern == Pattern::Atok)
        feed.served = Request(messages_.atokDocumentFeed, 0, Encoding::Utf16, &feed.record);
    else
        feed.served = Request(messages_.msImeDocumentFeed, 1, Encoding::Utf16, &feed.record);
    return feed;
}

void ImeClient::Deliver(const std::u16string& text) {
    const bool unicode = IsWindowUnicode(window_) != FALSE;
    for (char16_t c : text) {
        if (unicode) {
            SendMessageW(window_, WM_IME_CHAR, c, 1);
            continue;
        }
        std::string bytes = Utf16ToSjis(std::u16string(1, c));
        WPARAM code = bytes.size() == 2 ? (uint8_t(bytes[0]) << 8 | uint8_t(bytes[1])) : uint8_t(bytes[0]);
        SendMessageA(window_, WM_IME_CHAR, code, 1);
    }
    // An edit control that leaves WM_IME_CHAR to DefWindowProc gets the
    // characters as posted WM_CHAR messages: let the application's message
    // loop run over them, as it would once the IME returns.
    PumpMessages();
}

std::string EditorText(HWND editor) {
    if (IsWindowUnicode(editor)) {
        int units = GetWindowTextLengthW(editor);
        std::u16string wide(size_t(units) + 1, u'\0');
        int got = GetWindowTextW(editor, reinterpret_cast<wchar_t*>(&wide[0]), units + 1);
        wide.resize(got > 0 ? size_t(got) : 0);
        return Utf16ToSjis(wide);
    }
    int n = GetWindowTextLengthA(editor);
    std::string text(size_t(n) + 1, '\0');
    int got = GetWindowTextA(editor, &text[0], n + 1);
    text.resize(got > 0 ? size_t(got) : 0);
    return text;
}

bool PumpMessages() {
    bool quit = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return !quit;
}

}  // namespace imeside
