// EditTextSource against real windows: the project's "kvexedit" editor
// (positions in bytes of the ANSI text), a scripted window that reports
// whatever selection a test wants, Wine's EDIT as a password field. The
// computation itself is unit tested natively; here the window side and the
// trace lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "in_process_module.h"
#include "kvexedit.h"
#include "module/state.h"
#include "reconvert/edit_text_source.h"
#include "rodavozi.h"
#include "support/edit_dialog.h"
#include "support/trace_window.h"

namespace {

const std::string FA = "\x82\x60";
const std::string HA = "\x82\xA0", HI = "\x82\xA2", HU = "\x82\xA4", KAN = "\x8A\xBF", JI = "\x8E\x9A";

// A window that keeps its text with the default processing and reports the
// selection the test sets, whether or not it fits the text; it records the
// edit messages it receives.
struct Scripted {
    DWORD selection = 0;
    LRESULT passwordChar = 0;
    std::vector<UINT> messages;
    std::vector<std::pair<WPARAM, LPARAM>> setSel;
} g_scripted;

LRESULT CALLBACK ScriptedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case EM_GETSEL:
        g_scripted.messages.push_back(message);
        return g_scripted.selection;
    case EM_SETSEL:
        g_scripted.messages.push_back(message);
        g_scripted.setSel.push_back({wParam, lParam});
        return 0;
    case EM_GETPASSWORDCHAR:
        return g_scripted.passwordChar;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        g_scripted.messages.push_back(message);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class EditTextSourceTest : public ::testing::Test {
protected:
    std::vector<HWND> windows;
    char buffer[256];

    static void SetUpTestSuite() {
        StartModuleInProcess();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ScriptedProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "scripted edit";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        g_scripted = Scripted();
        ProcessState.LastReconvertOffset = 0;
        ClearTraceLines();
    }
    void TearDown() override {
        for (HWND window : windows) DestroyWindow(window);
    }

    HWND Create(const char* className, const std::string& text, DWORD style = 0) {
        HWND window = CreateWindowExA(0, className, "", WS_OVERLAPPEDWINDOW | style, 0, 0, 300, 100, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr) << className;
        windows.push_back(window);
        SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return window;
    }
    HWND Editor(const std::string& text, int start, int end, DWORD style = ES_MULTILINE) {
        HWND window = Create(KVEXEDIT_CLASS, text, style);
        SendMessageA(window, EM_SETSEL, start, end);
        return window;
    }
    int GetText(HWND window) {
        memset(buffer, 0x7F, sizeof buffer);
        ClearTraceLines();
        return EditTextSource(window, TSR_GETTEXT, 0, buffer);
    }
    DWORD Selection(HWND window) { return static_cast<DWORD>(SendMessageA(window, EM_GETSEL, 0, 0)); }
    bool AnyTraceHolds(const std::string& text) {
        for (const std::string& line : TraceTexts())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(EditTextSourceTest, CaretContextsOfSingleByteTexts) {
    const struct {
        std::string text;
        int caret;
        std::string context;
        int result, start;
    } cases[] = {
        {Letters(40), 20, Letters(40).substr(5, 30), 15, 5},
        {"abcde\r\nfghij", 12, "fghij", 5, 7},
        {"ab\tcd", 2, "ab", 2, 0},
    };
    for (const auto& c : cases) {
        HWND editor = Editor(c.text, c.caret, c.caret);
        EXPECT_EQ(GetText(editor), c.result) << c.text;
        EXPECT_EQ(std::string(buffer), c.context);
        DWORD sel = MAKELONG(c.caret, c.caret);
        EXPECT_EQ(TraceTexts(), (std::vector<std::string>{
                                    "len=" + std::to_string(c.text.size()) + " ", "sel=" + Hex(sel) + " ",
                                    "str=[" + c.context + "] pos=" + std::to_string(c.result) + " " +
                                        std::to_string(c.caret) + " " + std::to_string(c.start)}));
    }
}

TEST_F(EditTextSourceTest, CaretContextOfDoubleByteText) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "two-byte characters need code page 932";
    HWND twenty = Editor(Repeat(FA, 20), 20, 20);
    EXPECT_EQ(GetText(twenty), 14);
    EXPECT_EQ(std::string(buffer), Repeat(FA, 15));
    EXPECT_EQ(TraceTexts().back(), "str=[" + Repeat(FA, 15) + "] pos=14 20 6");
}

TEST_F(EditTextSourceTest, SelectionsAreHandedBackCutToSixtyFourBytes) {
    HWND letters = Editor("xx" + Letters(80) + "yy", 2, 82);
    EXPECT_EQ(GetText(letters), -1);
    EXPECT_EQ(std::string(buffer), Letters(64));
    EXPECT_EQ(TraceTexts(), (std::vector<std::string>{"len=84 ", "sel=520002 ", "sel[" + Letters(64) + "]"}));

    if (!JapaneseCodePage()) return;
    HWND straddling = Editor(Letters(63) + FA, 0, 65);
    EXPECT_EQ(GetText(straddling), -1);
    EXPECT_EQ(std::string(buffer), Letters(63));
}

TEST_F(EditTextSourceTest, ClampsWhatTheControlReports) {
    HWND window = Create("scripted edit", "abc");
    g_scripted.selection = MAKELONG(40, 40);
    EXPECT_EQ(GetText(window), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(TraceTexts().back(), "str=[abc] pos=3 3 0");

    g_scripted.selection = MAKELONG(1, 900);
    EXPECT_EQ(GetText(window), -1);
    EXPECT_STREQ(buffer, "bc");

    if (!JapaneseCodePage()) return;
    // kvexedit keeps a caret set inside a two-byte character, as given.
    HWND editor = Editor("a" + HA + HI, 2, 2);
    EXPECT_EQ(Selection(editor), static_cast<DWORD>(MAKELONG(2, 2)));
    EXPECT_EQ(GetText(editor), 1);
    EXPECT_EQ(std::string(buffer), "a" + HA + HI);
    EXPECT_EQ(TraceTexts().back(), "str=[a" + HA + HI + "] pos=1 1 0");
}

TEST_F(EditTextSourceTest, LongestTextServedAndTheOneBeyond) {
    std::string text = Letters(65534);
    HWND editor = Editor(text, 65534, 65534, ES_MULTILINE | KVEXEDIT_TEXT_MESSAGES_ONLY);
    EXPECT_EQ(GetText(editor), 15);
    EXPECT_EQ(std::string(buffer), text.substr(65519));

    text += "z";
    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ASSERT_EQ(GetWindowTextLengthA(editor), 65535);
    SendMessageA(editor, EM_SETSEL, 3, 3);
    EXPECT_EQ(GetText(editor), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"len=65535 "}) << "no selection is asked for";
}

// A confirmation selects the composition as this thread's fill for the
// window offered it; one without a fill selects nothing, whatever range the
// builder packed.
TEST_F(EditTextSourceTest, ConfirmationSelectsOnlyWhatItsFillOffered) {
    HWND editor = Editor(Letters(40), 30, 30);
    ClearTraceLines();
    EXPECT_EQ(EditTextSource(editor, TSR_CONFIRM, 4u << 16 | 6u, nullptr), 0);
    EXPECT_EQ(Selection(editor), static_cast<DWORD>(MAKELONG(30, 30)));
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"\a noconfirm 40006 "});

    HWND scripted = Create("scripted edit", Letters(10));
    g_scripted.selection = MAKELONG(2, 2);
    EditTextSource(scripted, TSR_CONFIRM, 4u << 16 | 6u, nullptr);
    EXPECT_TRUE(g_scripted.setSel.empty());
}

// The confirmation starts from the caret as the fill used it: a control that
// reports a caret past its text gets the composition selected where the fill
// put the caret (the text's end), not measured back from the caret reported.
TEST_F(EditTextSourceTest, ConfirmationStartsFromTheCaretTheFillUsed) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "two-byte characters need code page 932";
    HWND window = Create("scripted edit", "abc" + HA + HI);
    g_scripted.selection = MAKELONG(40, 40);
    alignas(8) BYTE record[160] = {};
    RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
    LRESULT answer = 0;
    ASSERT_EQ(IsReconvertMsg(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record), &answer,
                             EditTextSource),
              1);
    ASSERT_EQ(answer, 160);
    EXPECT_EQ(rs->dwCompStrOffset, 4u);
    rs->dwCompStrOffset = 0;
    rs->dwCompStrLen = 4;
    IsReconvertMsg(window, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record), &answer,
                   EditTextSource);
    ASSERT_EQ(g_scripted.setSel.size(), 1u);
    EXPECT_EQ(g_scripted.setSel[0], (std::pair<WPARAM, LPARAM>{3, 7}));
}

// ES_PASSWORD is a style of the system's edit class; another class may use
// the bit for something else and is still served unless it shows a password
// character.
TEST_F(EditTextSourceTest, PasswordStyleCountsOnlyForTheSystemsEditClass) {
    HWND other = Create("scripted edit", "open text", ES_PASSWORD);
    g_scripted.selection = MAKELONG(4, 4);
    EXPECT_EQ(GetText(other), 4);
    EXPECT_STREQ(buffer, "open text");
}

TEST_F(EditTextSourceTest, PasswordFieldsOfferNothing) {
    HWND styled = Editor("secret", 2, 2, ES_PASSWORD);
    HWND wineEdit = Create("EDIT", "secret", ES_PASSWORD);
    HWND byMessage = Create("scripted edit", "secret");
    g_scripted.passwordChar = '*';
    g_scripted.selection = MAKELONG(0, 6);
    for (HWND window : {styled, wineEdit, byMessage}) {
        g_scripted.messages.clear();
        EXPECT_EQ(GetText(window), 0);
        EXPECT_STREQ(buffer, "");
        EXPECT_TRUE(TraceLines().empty());
        EXPECT_TRUE(g_scripted.messages.empty()) << "neither the text nor the selection is read";

        LRESULT answer = -1;
        BYTE record[160] = {};
        ClearTraceLines();
        EXPECT_EQ(IsReconvertMsg(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record),
                                 &answer, EditTextSource),
                  1);
        EXPECT_EQ(answer, 0);
        EXPECT_FALSE(AnyTraceHolds("secret"));
        EXPECT_FALSE(AnyTraceHolds("cre"));
    }
}

// The builder's record filled from a kvexedit window, the confirmation that
// follows, and the IME's result replacing exactly the range it reconverted.
TEST_F(EditTextSourceTest, ReconversionRoundTripThroughTheBuilder) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "two-byte characters need code page 932";
    std::string text = "abc" + HA + HI + HU + HI + HA + "x";
    HWND editor = Editor(text, 9, 9);
    alignas(8) BYTE record[160];
    RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
    memset(record, 0xCC, sizeof record);
    LRESULT answer = 0;
    ClearTraceLines();
    ASSERT_EQ(IsReconvertMsg(editor, SharedState.MsgMsImeReconvert, IMR_RECONVERTSTRING,
                             reinterpret_cast<LPARAM>(record), &answer, EditTextSource),
              1);
    EXPECT_EQ(answer, 160);
    EXPECT_EQ(rs->dwStrLen, 5u);
    EXPECT_EQ(rs->dwCompStrOffset, 6u);
    EXPECT_EQ(rs->dwTargetStrOffset, 6u);
    EXPECT_EQ(rs->dwCompStrLen, 0u);
    EXPECT_EQ(memcmp(record + 32, L"\x3042\x3044\x3046\x3044\x3042", 12), 0);
    const std::vector<std::string> expected = {
        "\n1 recon 4 " + Hex32(record) + " ", "len=14 ", "sel=90009 ",
        "str=[abc" + HA + HI + HU + HI + HA + "x] pos=9 9 0", "noseltext=abc" + HA + HI + HU + HI + HA + "x ",
        "offset=6 "};
    EXPECT_EQ(TraceTexts(), expected);

    // The IME takes the two characters before the caret.
    rs->dwCompStrOffset = 2;
    rs->dwCompStrLen = 2;
    ClearTraceLines();
    ASSERT_EQ(IsReconvertMsg(editor, SharedState.MsgMsImeReconvert, IMR_CONFIRMRECONVERTSTRING,
                             reinterpret_cast<LPARAM>(record), &answer, EditTextSource),
              1);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(TraceTexts().back(), "confirm 5 9 40004 ");
    EXPECT_EQ(Selection(editor), static_cast<DWORD>(MAKELONG(5, 9)));
    KvexEditReplaceSelection(editor, (KAN + JI).c_str());
    char now[64];
    GetWindowTextA(editor, now, sizeof now);
    EXPECT_EQ(std::string(now), "abc" + HA + KAN + JI + HI + HA + "x");

    // A selection fills an ANSI record whole; nothing of it lands in the
    // shared section.
    SendMessageA(editor, EM_SETSEL, 3, 9);
    ASSERT_EQ(IsReconvertMsg(editor, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record),
                             &answer, EditTextSource),
              1);
    EXPECT_EQ(answer, 160);
    EXPECT_EQ(rs->dwStrLen, 6u);
    EXPECT_EQ(rs->dwCompStrLen, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 32)), HA + KAN + JI);
    for (int i = 0; i < TEXT_BUFFER_SIZE; ++i) ASSERT_EQ(SharedState.TextBuffer[i], 0) << i;
}

// ---- the platform's EDIT as a Unicode window: positions in UTF-16 units ----

// A host procedure on the control that answers through IsReconvertMsg, as
// the subclass does; the requests arrive as the input method manager sends
// them to a Unicode window, with SendMessageW.
WNDPROC g_editProc;
LRESULT CALLBACK HostOnEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer;
    if (IsReconvertMsg(window, message, wParam, lParam, &answer, EditTextSource)) return answer;
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

struct WideCase {
    const char16_t* marked;   // caret '|' or selection '[' ']'
    const char16_t* offered;  // the record's string
    int compAt, compLength;   // what the IME converts: characters of the string
    int selStart, selEnd;     // the window's selection after the confirmation, units
};

class UnicodeEdit : public EditTextSourceTest, public ::testing::WithParamInterface<int> {
protected:
    HWND Make() {
        HWND edit = nullptr;
        if (GetParam() == 0) {
            edit = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 60, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        } else if (GetParam() == 1) {
            HWND frame = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
            windows.push_back(frame);
            edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 280, 80, frame,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
        } else {
            edit = EditInADialog();
            if (edit) windows.push_back(GetParent(edit));
        }
        EXPECT_TRUE(edit && IsWindowUnicode(edit));
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostOnEdit)));
        return edit;
    }
};

std::wstring Wide(const char16_t* text) { return std::wstring(text, text + std::char_traits<char16_t>::length(text)); }

TEST_P(UnicodeEdit, RecordsInUtf16AndTheIntendedRangeReplaced) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "the texts need code page 932";
    const WideCase cases[] = {
        {u"漢字を変換|する", u"漢字を変換する", 3, 2, 3, 5},              // after a word
        {u"漢字を変|換する", u"漢字を変換する", 3, 2, 3, 5},              // inside it
        {u"漢字を|変換する", u"漢字を変換する", 3, 2, 3, 5},              // before it
        {u"abc\U00020BB7野家で変換|する", u"野家で変換する", 3, 2, 8, 10},  // ASCII and a pair before
        {u"\U0001F600ひらがな|", u"ひらがな", 0, 4, 2, 6},                // an emoji before
        {u"\U00020BB7[変]換", u"変", 0, 1, 2, 3},                          // selection of 1
        {u"前置き：[日本語の文章を漢字に変換する機能を試す。]：後", u"日本語の文章を漢字に変換する機能を試す。", 0, 20, 4,
         24},  // selection of 20
        {u"前置き：[日本語の文章を漢字に変換する機能を試すための例文。]：後",
         u"日本語の文章を漢字に変換する機能を試すた", 0, 20, 4, 24},  // 25 selected, the 20 offered converted
    };
    HWND edit = Make();
    ASSERT_NE(edit, nullptr);
    for (UINT message : {static_cast<UINT>(WM_IME_REQUEST), SharedState.MsgMsImeReconvert}) {
        for (const WideCase& c : cases) {
            const MarkedText m = ParseMarks(c.marked);
            const std::wstring plain(m.plain.begin(), m.plain.end());
            const size_t start = m.start, end = m.end;
            SetWindowTextW(edit, plain.c_str());
            SendMessageW(edit, EM_SETSEL, start, end);
            std::string what = "message " + Hex(message) + ", " + std::to_string(start) + ".." + std::to_string(end);

            EXPECT_EQ(SendMessageW(edit, message, IMR_RECONVERTSTRING, 0), 160) << what;
            alignas(8) BYTE record[160] = {};
            RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
            rs->dwSize = 160;
            ASSERT_EQ(SendMessageW(edit, message, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 160) << what;
            std::wstring offered = Wide(c.offered);
            ASSERT_EQ(rs->dwStrLen, offered.size()) << what;
            EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(record + 32), rs->dwStrLen), offered) << what;

            rs->dwCompStrOffset = rs->dwTargetStrOffset = DWORD(2 * c.compAt);
            rs->dwCompStrLen = rs->dwTargetStrLen = DWORD(c.compLength);
            EXPECT_EQ(SendMessageW(edit, message, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 1);
            DWORD selStart = 0, selEnd = 0;
            SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
            EXPECT_EQ(selStart, DWORD(c.selStart)) << what;
            EXPECT_EQ(selEnd, DWORD(c.selEnd)) << what;

            SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\u25CE"));
            std::wstring expected = plain.substr(0, size_t(c.selStart)) + L"\u25CE" + plain.substr(size_t(c.selEnd));
            wchar_t now[256] = {};
            GetWindowTextW(edit, now, 256);
            EXPECT_EQ(std::wstring(now), expected) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TopLevelChildAndDialog, UnicodeEdit, ::testing::Values(0, 1, 2));

}  // namespace
