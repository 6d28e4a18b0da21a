#include "editors.h"

#include "report.h"

namespace rodacheck {

namespace {

struct Candidate {
    const wchar_t* text;
    size_t caret;
    const char* about;
};

// Each without a repeated word, the caret after a two-character word.
const Candidate kCandidates[] = {
    {L"日本語の文章を変換して、意味を確かめる。", 9, "Japanese text"},
    {L"日本语的文章转换后确认意思。", 8, "Chinese text (simplified), the code page lacks Japanese"},
    {L"日本語的文章轉換後確認意思。", 8, "Chinese text (traditional), the code page lacks Japanese"},
    {L"한국어문장을변환하고의미를확인", 8, "Korean text, the code page lacks Japanese"},
};

bool RoundTrips(const wchar_t* text, UINT codePage) {
    BOOL usedDefault = FALSE;
    std::wstring wide = text;
    int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                                &usedDefault);
    if (n <= 0 || usedDefault) return false;
    return FromCodePage(codePage, ToCodePage(codePage, wide)) == wide;
}

bool DoubleByte(UINT codePage) {
    CPINFO info = {};
    return GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
}

WNDPROC g_editUnderUnicode, g_editUnderAnsi;

// The procedures a program puts on top of an edit control in the other form.
LRESULT CALLBACK UnicodeOnTop(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(g_editUnderUnicode, window, message, wParam, lParam);
}
LRESULT CALLBACK AnsiOnTop(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(g_editUnderAnsi, window, message, wParam, lParam);
}

// comctl32 version 6 is had through an activation context made from the
// manifest resource 2, which names it as a dependency.
HANDLE CommonControlsContext() {
    static HANDLE context = INVALID_HANDLE_VALUE;
    static bool tried;
    if (tried) return context;
    tried = true;
    wchar_t path[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.lpSource = path;
    request.hModule = GetModuleHandleW(nullptr);
    request.lpResourceName = MAKEINTRESOURCEW(2);
    context = CreateActCtxW(&request);
    return context;
}

Units Measure(HWND window, const std::wstring& text, UINT codePage) {
    SendMessageW(window, EM_SETSEL, 0, -1);
    DWORD end = 0;
    SendMessageW(window, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
    size_t bytes = ToCodePage(codePage, text).size();
    if (bytes == text.size() && end == bytes) return Units::Either;
    if (end == bytes) return Units::Bytes;
    if (end == text.size()) return Units::Utf16;
    return Units::Unknown;
}

}  // namespace

UINT WorkingCodePage() {
    if (DoubleByte(CP_ACP)) return GetACP();
    wchar_t number[8] = {};
    LCID language = MAKELCID(LOWORD(reinterpret_cast<ULONG_PTR>(GetKeyboardLayout(0))), SORT_DEFAULT);
    UINT codePage = GetLocaleInfoW(language, LOCALE_IDEFAULTANSICODEPAGE, number, 8) ? wcstoul(number, nullptr, 10) : 0;
    return codePage != 0 && DoubleByte(codePage) ? codePage : GetACP();
}

Sample ChooseSample(UINT codePage) {
    Sample sample;
    sample.codePage = codePage;
    CPINFO info = {};
    // UTF-8 (65001) has characters of several bytes, but none the module offers.
    if (GetCPInfo(codePage, &info) && info.MaxCharSize == 2) {
        for (const Candidate& c : kCandidates)
            if (RoundTrips(c.text, codePage)) {
                sample.text = c.text;
                sample.caret = c.caret;
                sample.doubleByte = true;
                sample.about = c.about;
                return sample;
            }
    }
    sample.text = L"Reconversion check: the text around the caret.";
    sample.caret = 12;
    sample.about = GetACP() == CP_UTF8        ? "ASCII text: the ANSI code page is UTF-8, not double-byte"
                   : info.MaxCharSize == 2 ? "ASCII text: the code page holds none of the double-byte samples"
                                           : "ASCII text: the ANSI code page has no double-byte characters";
    return sample;
}

const char* UnitsName(Units units) {
    switch (units) {
    case Units::Bytes: return "bytes";
    case Units::Utf16: return "characters (UTF-16 units)";
    case Units::Either: return "bytes = characters (single-byte text)";
    case Units::Unknown: break;
    }
    return "neither bytes nor characters";
}

HWND CreateEdit(HWND frame, bool unicode, DWORD style, const std::wstring& text, bool commonControls) {
    static int row;
    ULONG_PTR cookie = 0;
    if (commonControls) {
        HANDLE context = CommonControlsContext();
        if (context == INVALID_HANDLE_VALUE || !ActivateActCtx(context, &cookie)) return nullptr;
        LoadLibraryW(L"comctl32.dll");  // registers its classes in this context
    }
    const DWORD styles = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | style;
    const int height = style & ES_MULTILINE ? 60 : 24;
    const int y = 8 + 32 * (row++ % 11);
    HWND window = unicode ? CreateWindowExW(0, L"EDIT", L"", styles, 8, y, 560, height, frame, nullptr,
                                            GetModuleHandleW(nullptr), nullptr)
                          : CreateWindowExA(0, "EDIT", "", styles, 8, y, 560, height, frame, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
    if (commonControls) DeactivateActCtx(0, cookie);
    if (window) SetWindowTextW(window, text.c_str());
    return window;
}

std::wstring ProcedureModule(HWND window) {
    const LONG_PTR procedure =
        IsWindowUnicode(window) ? GetWindowLongPtrW(window, GWLP_WNDPROC) : GetWindowLongPtrA(window, GWLP_WNDPROC);
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<const wchar_t*>(procedure), &module))
        return std::wstring();
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

bool CreateEditors(const Sample& sample, const Sample& unicodeSample, HWND* frame, std::vector<Editor>* editors) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"RodacheckEditors";
    RegisterClassW(&wc);
    *frame = CreateWindowExW(0, wc.lpszClassName, L"rodacheck: editors of the self-check",
                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 480, nullptr, nullptr, wc.hInstance,
                             nullptr);
    if (!*frame) return false;

    struct Kind {
        const char* name;
        bool unicode;
        DWORD style;
        int onTop;  // 0 none, 1 a Unicode procedure, 2 an ANSI procedure
        bool multiLine;
        bool commonControls;
    } const kinds[] = {
        {"ANSI EDIT", false, 0, 0, false, false},
        {"Unicode EDIT", true, 0, 0, false, false},
        {"ANSI EDIT under a Unicode procedure", false, 0, 1, false, false},
        {"Unicode EDIT under an ANSI procedure", true, 0, 2, false, false},
        {"password field (ANSI EDIT, ES_PASSWORD)", false, ES_PASSWORD, 0, false, false},
        {"multi-line Unicode EDIT", true, ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0, true, false},
        {"ANSI edit of comctl32 version 6", false, 0, 0, false, true},
        {"Unicode edit of comctl32 version 6", true, 0, 0, false, true},
    };
    for (const Kind& kind : kinds) {
        const Sample& own = kind.unicode ? unicodeSample : sample;
        Editor editor;
        editor.name = kind.name;
        editor.createdUnicode = kind.unicode;
        editor.password = (kind.style & ES_PASSWORD) != 0;
        editor.text = kind.multiLine ? own.text + L"\r\n" + own.text : own.text;
        editor.caret = kind.multiLine ? own.text.size() + 2 + own.caret : own.caret;
        editor.window = CreateEdit(*frame, kind.unicode, kind.style, editor.text, kind.commonControls);
        if (!editor.window) return false;
        editor.control = ProcedureModule(editor.window);
        if (kind.onTop == 1)
            g_editUnderUnicode = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(editor.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(UnicodeOnTop)));
        if (kind.onTop == 2)
            g_editUnderAnsi = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(editor.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnsiOnTop)));
        editor.units = Measure(editor.window, editor.text, own.codePage);
        // Text of a code page other than the ANSI one is served to a window that is Unicode now only.
        editor.doubleByte = own.doubleByte && (own.codePage == CP_ACP || IsWindowUnicode(editor.window));
        editors->push_back(editor);
    }
    ShowWindow(*frame, SW_SHOWNORMAL);
    SetForegroundWindow(*frame);
    return true;
}

std::wstring EditorText(HWND window) {
    int units = GetWindowTextLengthW(window);
    std::wstring text(size_t(units) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], units + 1);
    text.resize(got > 0 ? size_t(got) : 0);
    return text;
}

DWORD ControlPosition(const Editor& editor, size_t index) {
    if (editor.units == Units::Bytes) return DWORD(ToCodePage(CP_ACP, editor.text.substr(0, index)).size());
    return DWORD(index);
}

void Reset(const Editor& editor) {
    // The focus first: the caret is placed after anything that taking it does.
    SetFocus(editor.window);
    SetWindowTextW(editor.window, editor.text.c_str());
    DWORD caret = ControlPosition(editor, editor.caret);
    SendMessageW(editor.window, EM_SETSEL, caret, caret);
}

}  // namespace rodacheck
