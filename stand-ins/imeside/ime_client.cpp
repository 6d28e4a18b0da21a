#include "ime_client.h"

#include <imm.h>
#include <string.h>

#include "candidates.h"

namespace imeside {

namespace {

// Bytes after the allocation that must stay as they were: a window that
// writes past the size it answered would overwrite the IME's heap.
enum { GUARD_BYTES = 256 };
const uint8_t kFill = 0xA5;

// The largest size answer an IME takes seriously.
const LRESULT kMaxRecordSize = 1 << 20;

}  // namespace

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

ImeMessages ImeMessages::Register() {
    ImeMessages m;
    m.msImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    m.atokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
    m.msImeDocumentFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
    m.atokDocumentFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
    return m;
}

const char* PatternName(Pattern pattern) {
    switch (pattern) {
    case Pattern::Imm: return "imm";
    case Pattern::MsIme: return "msime";
    case Pattern::Atok: return "atok";
    case Pattern::Widen: return "widen";
    case Pattern::Widen16: return "widen16";
    }
    return "?";
}

Encoding PatternEncoding(Pattern pattern) {
    return pattern == Pattern::Imm || pattern == Pattern::Widen ? Encoding::Ansi : Encoding::Utf16;
}

bool PatternWidens(Pattern pattern) { return pattern == Pattern::Widen || pattern == Pattern::Widen16; }

bool PatternFeeds(Pattern pattern) { return pattern == Pattern::MsIme || pattern == Pattern::Atok; }

std::string RecordExchange::Describe() const {
    char head[80];
    wsprintfA(head, "answer=%ld ", static_cast<long>(answer));
    size_t size = bytes.size() > GUARD_BYTES ? bytes.size() - GUARD_BYTES : 0;
    return head + DescribeRecordBytes(bytes.data(), size, view.encoding);
}

ImeClient::ImeClient(HWND window) : window_(window), messages_(ImeMessages::Register()) {}

bool ImeClient::HasInputContext() const {
    HIMC context = ImmGetContext(window_);
    if (!context) return false;
    ImmReleaseContext(window_, context);
    return true;
}

// Size query, then the fill of a record allocated at exactly the size
// answered (plus the guard), with dwVersion 0 and every other byte set to a
// non-zero pattern, so that a missing terminator shows.
bool ImeClient::Request(UINT message, WPARAM fillCode, Encoding encoding, RecordExchange* exchange) {
    exchange->message = message;
    exchange->wParam = fillCode;
    exchange->view.encoding = encoding;
    exchange->sizeAnswer = SendMessageA(window_, message, fillCode, 0);
    LRESULT size = exchange->sizeAnswer;
    if (size == 0) return false;
    if (size < RECORD_HEADER_SIZE || size > kMaxRecordSize) {
        exchange->problems.push_back("size answer " + std::to_string(size) + " is no usable record size");
        return false;
    }
    exchange->bytes.assign(size_t(size) + GUARD_BYTES, kFill);
    RecordHeader header;
    memset(&header, kFill, sizeof header);
    header.dwSize = static_cast<uint32_t>(size);
    header.dwVersion = 0;
    memcpy(exchange->bytes.data(), &header, sizeof header);
    exchange->answer = SendMessageA(window_, message, fillCode, reinterpret_cast<LPARAM>(exchange->bytes.data()));
    size_t overrun = 0;
    for (size_t i = size_t(size); i < exchange->bytes.size(); ++i)
        if (exchange->bytes[i] != kFill) overrun = i - size_t(size) + 1;
    if (overrun) exchange->problems.push_back("wrote " + std::to_string(overrun) + " bytes past the size it answered");
    if (exchange->answer != 0) {
        std::vector<std::string> problems =
            CheckRecord(exchange->bytes.data(), size_t(size), encoding, 0, &exchange->view);
        exchange->problems.insert(exchange->problems.end(), problems.begin(), problems.end());
    }
    return true;
}

Reconversion ImeClient::Reconvert(Pattern pattern) {
    Reconversion r;
    r.pattern = pattern;
    const Encoding encoding = PatternEncoding(pattern);
    UINT message = WM_IME_REQUEST;
    if (pattern == Pattern::MsIme || pattern == Pattern::Widen16) message = messages_.msImeReconvert;
    if (pattern == Pattern::Atok) message = messages_.atokReconvert;

    r.served = Request(message, IMR_RECONVERTSTRING, encoding, &r.fill);
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
    if (offered.composition.length == 0) {
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
    r.confirmAnswer = SendMessageA(window_, message, IMR_CONFIRMRECONVERTSTRING,
                                   reinterpret_cast<LPARAM>(r.confirm.bytes.data()));
    r.confirm.answer = r.confirmAnswer;
    r.selectionAfterConfirm = static_cast<DWORD>(SendMessageA(window_, EM_GETSEL, 0, 0));
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

DocumentFeed ImeClient::Feed(Pattern pattern) {
    DocumentFeed feed;
    if (pattern == Pattern::Atok)
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
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string EditorText(HWND editor) {
    int n = GetWindowTextLengthA(editor);
    std::string text(size_t(n) + 1, '\0');
    int got = GetWindowTextA(editor, &text[0], n + 1);
    text.resize(got > 0 ? size_t(got) : 0);
    return text;
}

}  // namespace imeside
