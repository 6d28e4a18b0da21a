#include "imm_facts.h"

#include <imm.h>
#include <string.h>

#include "editors.h"
#include "ime_request.h"
#include "report.h"

namespace rodacheck {

namespace {

std::wstring g_probeText;

// A window that answers IMR_RECONVERTSTRING with a record of its own form.
LRESULT Probe(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool unicode) {
    if (message != WM_IME_REQUEST || wParam != IMR_RECONVERTSTRING)
        return unicode ? DefWindowProcW(window, message, wParam, lParam)
                       : DefWindowProcA(window, message, wParam, lParam);
    std::string ansi = ToCodePage(CP_ACP, g_probeText);
    const uint32_t length = unicode ? uint32_t(g_probeText.size()) : uint32_t(ansi.size());
    const uint32_t bytes = unicode ? 2 * length : length, unit = unicode ? 2 : 1;
    const uint32_t size = imeside::RECORD_HEADER_SIZE + bytes + unit;
    if (lParam == 0) return size;
    auto* record = reinterpret_cast<uint8_t*>(lParam);
    imeside::RecordHeader header = {size, 0, length, imeside::RECORD_HEADER_SIZE, 0, 0, 0, 0};
    if (reinterpret_cast<imeside::RecordHeader*>(record)->dwSize < size) return 0;
    memcpy(record, &header, sizeof header);
    memcpy(record + imeside::RECORD_HEADER_SIZE, unicode ? static_cast<const void*>(g_probeText.data()) : ansi.data(),
           bytes);
    memset(record + imeside::RECORD_HEADER_SIZE + bytes, 0, unit);
    return size;
}

LRESULT CALLBACK ProbeA(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Probe(w, m, wp, lp, false); }
LRESULT CALLBACK ProbeW(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Probe(w, m, wp, lp, true); }

// What came back to an IME that asked the probe in one form.
std::string Ask(HWND probe, bool askUnicode) {
    SetFocus(probe);
    HIMC context = ImmGetContext(probe);
    if (!context) return "not asked: the window has no input context";
    std::string seen;
    LRESULT size = imeside::ImmRequest(context, askUnicode, IMR_RECONVERTSTRING, 0);
    if (size < imeside::RECORD_HEADER_SIZE || size > 0x10000) {
        seen = Format("size answer %ld", long(size));
    } else {
        std::vector<uint8_t> record(size_t(size) + imeside::GUARD_BYTES, 0);
        reinterpret_cast<imeside::RecordHeader*>(record.data())->dwSize = uint32_t(size);
        LRESULT answer = imeside::ImmRequest(context, askUnicode, IMR_RECONVERTSTRING,
                                             reinterpret_cast<LPARAM>(record.data()));
        imeside::RecordHeader h;
        memcpy(&h, record.data(), sizeof h);
        const uint8_t* string = record.data() + imeside::RECORD_HEADER_SIZE;
        const size_t room = size_t(size) - imeside::RECORD_HEADER_SIZE;
        const std::string ansi = ToCodePage(CP_ACP, g_probeText);
        const size_t wideBytes = 2 * g_probeText.size();
        const bool inPlace = h.dwStrOffset == imeside::RECORD_HEADER_SIZE;
        const bool asWide = inPlace && wideBytes <= room && memcmp(string, g_probeText.data(), wideBytes) == 0;
        const bool asAnsi = inPlace && ansi.size() <= room && memcmp(string, ansi.data(), ansi.size()) == 0;
        if (answer == 0)
            seen = "the fill answered 0";
        else if (askUnicode ? asWide : asAnsi)
            seen = askUnicode ? "UTF-16 as asked" : "ANSI as asked";
        else if (askUnicode ? asAnsi : asWide)
            seen = std::string("the window's ") + (askUnicode ? "ANSI" : "UTF-16") + " record, not converted";
        else
            seen = "a record in neither form";
    }
    ImmReleaseContext(probe, context);
    return seen;
}

}  // namespace

std::vector<std::string> ImmFormFacts(HWND frame, const std::wstring& sample) {
    g_probeText = sample.substr(0, 6);
    WNDCLASSA ca = {};
    ca.lpfnWndProc = ProbeA;
    ca.hInstance = GetModuleHandleW(nullptr);
    ca.lpszClassName = "RodacheckProbeA";
    WNDCLASSW cw = {};
    cw.lpfnWndProc = ProbeW;
    cw.hInstance = ca.hInstance;
    cw.lpszClassName = L"RodacheckProbeW";
    RegisterClassA(&ca);
    RegisterClassW(&cw);
    HWND ansi = CreateWindowExA(0, ca.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 380, 10, 10, frame, nullptr,
                                ca.hInstance, nullptr);
    HWND wide = CreateWindowExW(0, cw.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 20, 380, 10, 10, frame, nullptr,
                                cw.hInstance, nullptr);
    std::vector<std::string> facts;
    if (!ansi || !wide) return {"input method manager: the probe windows cannot be created"};
    facts.push_back("input method manager, the IME asking in the window's form: ImmRequestMessageA to an ANSI "
                    "window: " + Ask(ansi, false) + "; ImmRequestMessageW to a Unicode window: " + Ask(wide, true));
    std::string a = Ask(wide, false), w = Ask(ansi, true);
    bool converts = a == "ANSI as asked" && w == "UTF-16 as asked";
    facts.push_back("input method manager, the IME asking in the other form: ImmRequestMessageA to a Unicode "
                    "window: " + a + "; ImmRequestMessageW to an ANSI window: " + w +
                    (converts ? " (imm32 delivers each record in the window's form and converts it back)"
                              : " (imm32 does not deliver the record in the window's form: an IME must ask in it)"));
    DestroyWindow(ansi);
    DestroyWindow(wide);
    return facts;
}

std::vector<std::string> EditAnswerFacts(HWND frame, const std::wstring& text, size_t caret) {
    std::vector<std::string> facts;
    for (bool commonControls : {false, true}) {
        const char* name = commonControls ? "comctl32 version 6's edit control" : "the system's (user32's) EDIT";
        LRESULT reconvert[2] = {}, feed[2] = {}, charPosition[2] = {};
        for (int unicode = 0; unicode < 2; ++unicode) {
            HWND edit = CreateEdit(frame, unicode != 0, 0, text, commonControls);
            if (!edit) {
                facts.push_back(std::string(name) + ": a fresh control cannot be created");
                break;
            }
            // Read before any request reaches it: no subclass sits on it yet.
            WNDPROC proc = reinterpret_cast<WNDPROC>(unicode ? GetWindowLongPtrW(edit, GWLP_WNDPROC)
                                                             : GetWindowLongPtrA(edit, GWLP_WNDPROC));
            auto call = unicode ? CallWindowProcW : CallWindowProcA;
            call(proc, edit, EM_SETSEL, caret, caret);
            call(proc, edit, WM_SETFOCUS, 0, 0);
            reconvert[unicode] = call(proc, edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
            feed[unicode] = call(proc, edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, 0);
            IMECHARPOSITION position = {};
            position.dwSize = sizeof position;
            charPosition[unicode] = call(proc, edit, WM_IME_REQUEST, IMR_QUERYCHARPOSITION,
                                         reinterpret_cast<LPARAM>(&position));
            DestroyWindow(edit);
        }
        if (facts.size() == size_t(commonControls) + 1) continue;  // not created
        auto answers = [](const LRESULT* a) {
            return Format("%s (ANSI window %ld, Unicode %ld)", a[0] || a[1] ? "yes" : "no", long(a[0]), long(a[1]));
        };
        facts.push_back(std::string(name) + " itself answers IMR_RECONVERTSTRING: " + answers(reconvert) +
                        "; IMR_DOCUMENTFEED: " + answers(feed) + "; IMR_QUERYCHARPOSITION: " + answers(charPosition));
    }
    return facts;
}

}  // namespace rodacheck
