#include "ime_request.h"

#include <imm.h>
#include <string.h>

// imm32 exports them; the toolchain's header does not declare them.
extern "C" LRESULT WINAPI ImmRequestMessageA(HIMC context, WPARAM wParam, LPARAM lParam);
extern "C" LRESULT WINAPI ImmRequestMessageW(HIMC context, WPARAM wParam, LPARAM lParam);

namespace imeside {

namespace {

const uint8_t kFill = 0xA5;

// The largest size answer an IME takes seriously.
const LRESULT kMaxRecordSize = 1 << 20;

}  // namespace

ImeMessages ImeMessages::Register() {
    ImeMessages m;
    m.msImeReconvert = RegisterWindowMessageA("MSIMEReconvert");
    m.atokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
    m.msImeDocumentFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
    m.atokDocumentFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
    return m;
}

std::string RecordExchange::Describe() const {
    char head[80];
    wsprintfA(head, "answer=%ld ", static_cast<long>(answer));
    size_t size = bytes.size() > GUARD_BYTES ? bytes.size() - GUARD_BYTES : 0;
    return head + DescribeRecordBytes(bytes.data(), size, view.encoding);
}

LRESULT ImmRequest(HIMC context, bool unicode, WPARAM wParam, LPARAM lParam) {
    return unicode ? ImmRequestMessageW(context, wParam, lParam) : ImmRequestMessageA(context, wParam, lParam);
}

LRESULT SendImeRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* throughImm) {
    const bool unicode = IsWindowUnicode(window) != FALSE;
    if (throughImm) *throughImm = false;
    if (message == WM_IME_REQUEST && GetFocus() == window) {
        // Wine's input method manager sends to the context's window in the
        // form asked for and converts nothing; Windows' converts to the
        // window's form. Asking in the window's form gives both the same.
        HIMC context = ImmGetContext(window);
        if (context) {
            LRESULT answer = ImmRequest(context, unicode, wParam, lParam);
            ImmReleaseContext(window, context);
            if (throughImm) *throughImm = true;
            return answer;
        }
    }
    return unicode ? SendMessageW(window, message, wParam, lParam) : SendMessageA(window, message, wParam, lParam);
}

bool RequestRecord(HWND window, UINT message, WPARAM fillCode, Encoding encoding, RecordExchange* exchange,
                   bool* throughImm, const LeadBytes* leads) {
    exchange->message = message;
    exchange->wParam = fillCode;
    exchange->view.encoding = encoding;
    exchange->sizeAnswer = SendImeRequest(window, message, fillCode, 0, throughImm);
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
    exchange->answer =
        SendImeRequest(window, message, fillCode, reinterpret_cast<LPARAM>(exchange->bytes.data()), nullptr);
    size_t overrun = 0;
    for (size_t i = size_t(size); i < exchange->bytes.size(); ++i)
        if (exchange->bytes[i] != kFill) overrun = i - size_t(size) + 1;
    if (overrun) exchange->problems.push_back("wrote " + std::to_string(overrun) + " bytes past the size it answered");
    if (exchange->answer != 0) {
        std::vector<std::string> problems =
            CheckRecord(exchange->bytes.data(), size_t(size), encoding, 0, &exchange->view, leads);
        exchange->problems.insert(exchange->problems.end(), problems.begin(), problems.end());
    }
    return true;
}

}  // namespace imeside
