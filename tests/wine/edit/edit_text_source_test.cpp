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

#include "in_process_module.h"
#include "kvexedit.h"
#include "module/state.h"
#include "reconvert/edit_text_source.h"
#include "rodavozi.h"
#include "support/trace_window.h"

namespace {

const std::string FA = "\x82\x60";
const std::string HA = "\x82\xA0", HI = "\x82\xA2", HU = "\x82\xA4", KAN = "\x8A\xBF", JI = "\x8E\x9A";

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string Letters(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>('a' + i % 26);
    return out;
}

std::string Hex(DWORD value) {
    char text[16];
    wsprintfA(text, "%x", value);
    return text;
}

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
    HWND editor = Editor(text, 65534, 65534);
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

TEST_F(EditTextSourceTest, ConfirmationSelectsTheRangeOnlyWithoutASelection) {
    HWND editor = Editor(Letters(40), 30, 30);
    ClearTraceLines();
    EXPECT_EQ(EditTextSource(editor, TSR_CONFIRM, 4u << 16 | 6u, nullptr), 0);
    EXPECT_EQ(Selection(editor), static_cast<DWORD>(MAKELONG(26, 32)));
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"confirm 26 32 40006 "});

    ClearTraceLines();
    EXPECT_EQ(EditTextSource(editor, TSR_CONFIRM, 4u << 16 | 2u, nullptr), 0);
    EXPECT_EQ(Selection(editor), static_cast<DWORD>(MAKELONG(26, 32))) << "the selection stays";
    EXPECT_TRUE(TraceLines().empty());

    // A range reaching before the text starts at 0, not at "-2".
    HWND scripted = Create("scripted edit", Letters(10));
    g_scripted.selection = MAKELONG(2, 2);
    ClearTraceLines();
    EditTextSource(scripted, TSR_CONFIRM, 4u << 16 | 6u, nullptr);
    ASSERT_EQ(g_scripted.setSel.size(), 1u);
    EXPECT_EQ(g_scripted.setSel[0], (std::pair<WPARAM, LPARAM>{0, 4}));
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"confirm 0 4 40006 "});
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
        "\n1 recon 4 " + HexHandle(record) + " ", "len=14 ", "sel=90009 ",
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

}  // namespace
