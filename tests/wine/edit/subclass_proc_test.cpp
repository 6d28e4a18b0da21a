// ReconvertEditProc on windows whose procedure the test replaced itself, as
// the hook would: a recording window of the test's own (ANSI and Unicode),
// Wine's EDIT control.
#include <gtest/gtest.h>
#include <windows.h>

#include <imm.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "hook/hook.h"
#include "hook/subclass_proc.h"
#include "hook/subclass_record.h"
#include "in_process_module.h"
#include "module/state.h"
#include "support/local_records.h"
#include "support/trace_window.h"

namespace {

const UINT WM_PROBE = WM_USER + 1;
const LRESULT PROBE_ANSWER = 0x5150, FEED_ANSWER = 0x77, KILLFOCUS_ANSWER = 0x4B;

// What the windows' own procedures received.
struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    std::string textA;   // WM_SETTEXT to the ANSI procedure
    std::wstring textW;  // WM_SETTEXT to the Unicode procedure
};
std::vector<Received> g_received;
DWORD g_selection;  // what the recording windows answer to EM_GETSEL

LRESULT Answer(UINT message) {
    switch (message) {
    case WM_PROBE:
        return PROBE_ANSWER;
    case WM_IME_REQUEST:
        return FEED_ANSWER;
    case WM_KILLFOCUS:
        return KILLFOCUS_ANSWER;
    case EM_GETSEL:
        return g_selection;
    }
    return -1;
}

LRESULT CALLBACK RecorderA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Received r = {window, message, wParam, {}, {}};
    if (message == WM_SETTEXT && lParam) r.textA = reinterpret_cast<const char*>(lParam);
    g_received.push_back(r);
    LRESULT answer = Answer(message);
    return answer != -1 ? answer : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK RecorderW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Received r = {window, message, wParam, {}, {}};
    if (message == WM_SETTEXT && lParam) r.textW = reinterpret_cast<const wchar_t*>(lParam);
    g_received.push_back(r);
    LRESULT answer = Answer(message);
    return answer != -1 ? answer : DefWindowProcW(window, message, wParam, lParam);
}

void ForgetAllRecords() {
    for (WINDOWRECORD& record : WindowRecords) DropLocalSubclass(&record);
    ClearSharedSubclass();
}

int Count(HWND window, UINT message) {
    int n = 0;
    for (const Received& r : g_received)
        if (r.window == window && r.message == message) ++n;
    return n;
}

class SubclassProcTest : public ::testing::TestWithParam<bool> {
protected:
    std::vector<HWND> windows;

    static void SetUpTestSuite() {
        StartModuleInProcess();
        WNDCLASSA a = {};
        a.lpfnWndProc = RecorderA;
        a.hInstance = GetModuleHandleA(nullptr);
        a.lpszClassName = "recorder A";
        RegisterClassA(&a);
        WNDCLASSW w = {};
        w.lpfnWndProc = RecorderW;
        w.hInstance = GetModuleHandleA(nullptr);
        w.lpszClassName = L"recorder W";
        RegisterClassW(&w);
    }
    void SetUp() override {
        g_received.clear();
        g_selection = 0;
        ClearTraceLines();
    }
    void TearDown() override {
        for (HWND window : windows)
            if (IsWindow(window)) DestroyWindow(window);
        ForgetAllRecords();
    }

    bool Unicode() const { return GetParam(); }

    HWND Recorder() {
        HWND window = Unicode() ? CreateWindowW(L"recorder W", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                                nullptr, nullptr, nullptr)
                                : CreateWindowA("recorder A", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                                nullptr, nullptr, nullptr);
        EXPECT_EQ(IsWindowUnicode(window) != 0, Unicode());
        windows.push_back(window);
        return window;
    }
    // Installs ReconvertEditProc as the hook does: the procedure is read
    // with GetWindowLongPtrA (for a Unicode window Wine hands out a handle
    // that converts), and ours goes in with the W call on a Unicode window.
    static WNDPROC Install(HWND window, bool unicode) {
        WNDPROC previous = GetWindowProcedure(window);
        SetWindowProcedure(window, ReconvertEditProc, unicode);
        return previous;
    }
    static void Record(HWND window, WNDPROC previous, bool unicode) {
        ASSERT_NE(AddLocalSubclass(window, previous, unicode), nullptr);
        SharedState.lpfnoldedit = previous;
        SharedState.SubclassedWindow = window;
        SharedState.SubclassedUnicode = unicode;
    }
    void Subclass(HWND window) { Record(window, Install(window, Unicode()), Unicode()); }
    // The window runs its own class procedure again.
    bool RunsItsOwnProcedure(HWND window) {
        return Unicode() ? GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(RecorderW)
                         : GetWindowLongPtrA(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(RecorderA);
    }
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return Unicode() ? SendMessageW(window, message, wParam, lParam)
                         : SendMessageA(window, message, wParam, lParam);
    }
    std::string BellLine(UINT message, HWND window) {
        return "\a lpfnoldedit=0 " + std::to_string(message) + " " + Hex32(window) + " " +
               Hex32(reinterpret_cast<void*>(GetWindowLongPtrA(window, GWLP_WNDPROC))) + " ";
    }
    static void ExpectRecordsEmpty() {
        EXPECT_EQ(RecordCount(), 0);
        EXPECT_EQ(SharedState.SubclassedWindow, nullptr);
        EXPECT_EQ(SharedState.lpfnoldedit, nullptr);
        EXPECT_EQ(SharedState.SubclassedUnicode, 0);
    }
};

// Messages reach the window's own procedure in the form it expects, and its
// answer comes back; the trace stays silent.
TEST_P(SubclassProcTest, PassesMessagesOnToThePreviousProcedure) {
    HWND window = Recorder();
    Subclass(window);
    g_received.clear();
    EXPECT_EQ(Send(window, WM_PROBE, 7, 9), PROBE_ANSWER);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_PROBE);
    EXPECT_EQ(g_received[0].wParam, 7u);

    g_received.clear();
    if (Unicode())
        SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc\x3042"));
    else
        SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
    ASSERT_EQ(Count(window, WM_SETTEXT), 1);
    if (Unicode())
        EXPECT_EQ(g_received[0].textW, L"abc\x3042");
    else
        EXPECT_EQ(g_received[0].textA, "abc");
    EXPECT_TRUE(TraceLines().empty());
}

TEST_P(SubclassProcTest, ReconversionRequestsAreAnsweredAndDocumentFeedPassedOn) {
    HWND window = Recorder();
    Subclass(window);
    EXPECT_EQ(Send(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    EXPECT_EQ(Send(window, SharedState.MsgMsImeDocumentFeed, 1, 0), 160);
    EXPECT_EQ(Count(window, WM_IME_REQUEST), 0);
    EXPECT_EQ(Send(window, WM_IME_REQUEST, IMR_DOCUMENTFEED, 0), FEED_ANSWER);
    EXPECT_EQ(Count(window, WM_IME_REQUEST), 1);
}

TEST_P(SubclassProcTest, FocusLossGivesTheWindowItsProcedureBack) {
    HWND window = Recorder();
    Subclass(window);
    EXPECT_EQ(Send(window, WM_KILLFOCUS, 0, 0), KILLFOCUS_ANSWER) << "the window's own procedure answers";
    EXPECT_EQ(Count(window, WM_KILLFOCUS), 1);
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"killfocus " + Hex32(window) + " "});
    EXPECT_TRUE(RunsItsOwnProcedure(window));
    EXPECT_EQ(IsWindowUnicode(window) != 0, Unicode());
    ExpectRecordsEmpty();

    ClearTraceLines();
    EXPECT_EQ(Send(window, WM_KILLFOCUS, 0, 0), KILLFOCUS_ANSWER) << "straight to the window's own procedure";
    EXPECT_TRUE(TraceLines().empty());
}

// The shared record has moved on to a window of another process: this
// process still gives its own window back, and leaves that record alone.
TEST_P(SubclassProcTest, FocusLossAfterTheSharedRecordMovedElsewhere) {
    HWND window = Recorder();
    Subclass(window);
    HWND elsewhere = reinterpret_cast<HWND>(0x4242);
    WNDPROC foreign = reinterpret_cast<WNDPROC>(0x7FFF0000);
    SharedState.SubclassedWindow = elsewhere;
    SharedState.lpfnoldedit = foreign;

    EXPECT_EQ(Send(window, WM_PROBE, 0, 0), PROBE_ANSWER) << "still served through the local record";
    Send(window, WM_KILLFOCUS, 0, 0);
    EXPECT_TRUE(RunsItsOwnProcedure(window));
    EXPECT_EQ(RecordCount(), 0);
    EXPECT_EQ(SharedState.SubclassedWindow, elsewhere);
    EXPECT_EQ(SharedState.lpfnoldedit, foreign);
}

TEST_P(SubclassProcTest, DestructionForgetsTheWindow) {
    HWND window = Recorder();
    Subclass(window);
    DestroyWindow(window);
    EXPECT_EQ(Count(window, WM_DESTROY), 1);
    EXPECT_EQ(Count(window, WM_NCDESTROY), 1) << "the window's own procedure frees what it holds";
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"destory " + Hex32(window) + " "});
    ExpectRecordsEmpty();

    HWND second = Recorder();
    Subclass(second);
    HWND elsewhere = reinterpret_cast<HWND>(0x4242);
    SharedState.SubclassedWindow = elsewhere;
    DestroyWindow(second);
    EXPECT_EQ(RecordCount(), 0);
    EXPECT_EQ(SharedState.SubclassedWindow, elsewhere) << "another process's window stays recorded";
}

// Nothing recorded: the default processing in the window's own form, after
// the bell line, whatever the shared flag says.
TEST_P(SubclassProcTest, WithNothingRecordedTheBellLineAndDefaultProcessing) {
    HWND window = Recorder();
    Install(window, Unicode());
    SharedState.SubclassedUnicode = !Unicode();
    EXPECT_EQ(Send(window, WM_PROBE, 0, 0), 0);
    EXPECT_EQ(Count(window, WM_PROBE), 0);
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{BellLine(WM_PROBE, window)});

    if (Unicode())
        SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"xy\x3042"));
    else
        SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("xyz"));
    wchar_t title[16] = {};
    InternalGetWindowText(window, title, 16);
    EXPECT_EQ(std::wstring(title), Unicode() ? L"xy\x3042" : L"xyz");
    // WM_GETTEXT writes within the buffer it was given, counted in the
    // window's own units.
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    LRESULT copied = Send(window, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(copied, 2);
    size_t unit = Unicode() ? 2 : 1;
    EXPECT_EQ(buffer[3 * unit], '#') << "written past the buffer";
    if (!Unicode()) {
        EXPECT_STREQ(buffer, "xy");
    }

    EXPECT_EQ(Send(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160) << "requests are still answered";
    EXPECT_EQ(Send(window, WM_KILLFOCUS, 0, 0), 0);
    EXPECT_EQ(Count(window, WM_KILLFOCUS), 0);
    EXPECT_EQ(TraceTexts().back(), BellLine(WM_KILLFOCUS, window)) << "no release without a record";
}

// Another window still running ReconvertEditProc never reaches the
// procedure recorded for the subclassed one.
TEST_P(SubclassProcTest, OnlyTheRecordedWindowReachesTheRecordedProcedure) {
    HWND recorded = Recorder();
    Subclass(recorded);
    WNDPROC previous = FindLocalSubclass(recorded)->PreviousProc;
    HWND other = Recorder();
    Install(other, Unicode());
    ClearTraceLines();
    EXPECT_EQ(Send(other, WM_PROBE, 0, 0), 0);
    EXPECT_EQ(Send(other, WM_KILLFOCUS, 0, 0), 0);
    EXPECT_EQ(Count(other, WM_PROBE) + Count(other, WM_KILLFOCUS), 0);
    EXPECT_EQ(TraceTexts(), (std::vector<std::string>{BellLine(WM_PROBE, other), BellLine(WM_KILLFOCUS, other)}));
    ASSERT_NE(FindLocalSubclass(recorded), nullptr);
    EXPECT_EQ(FindLocalSubclass(recorded)->PreviousProc, previous);
    EXPECT_EQ(FindLocalSubclass(other), nullptr);
    EXPECT_EQ(SharedState.SubclassedWindow, recorded);
}

// Wine sends WM_IME_NOTIFY with IMN_SETOPENSTATUS to the window whenever the
// open status of its input context changes; they reach the window's own
// procedure, before the press does.
TEST_P(SubclassProcTest, ClickIntoASelectionClosesAndReopensAnOpenIme) {
    HWND window = Recorder();
    Subclass(window);
    HIMC context = ImmGetContext(window);
    ASSERT_NE(context, nullptr);
    auto Notifications = [&] {
        int n = 0;
        for (const Received& r : g_received)
            if (r.window == window && r.message == WM_IME_NOTIFY && r.wParam == IMN_SETOPENSTATUS) ++n;
        return n;
    };
    const struct {
        DWORD selection;
        BOOL open;
        int notifications;
    } cases[] = {
        {MAKELONG(2, 5), TRUE, 2},
        {MAKELONG(2, 5), FALSE, 0},
        {MAKELONG(3, 3), TRUE, 0},
    };
    for (const auto& c : cases) {
        ImmSetOpenStatus(context, c.open);
        g_selection = c.selection;
        g_received.clear();
        ClearTraceLines();
        Send(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
        EXPECT_EQ(Notifications(), c.notifications) << c.selection << " " << c.open;
        EXPECT_EQ(ImmGetOpenStatus(context) != 0, c.open != 0);
        ASSERT_FALSE(g_received.empty());
        EXPECT_EQ(g_received.back().message, static_cast<UINT>(WM_LBUTTONDOWN)) << "the press goes on last";
        EXPECT_TRUE(TraceLines().empty());
    }
    ImmSetOpenStatus(context, FALSE);
    ImmReleaseContext(window, context);
}

INSTANTIATE_TEST_SUITE_P(AnsiAndUnicode, SubclassProcTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Unicode" : "Ansi");
                         });

class SubclassProcOnWinesEdit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartModuleInProcess();
        WNDCLASSA parent = {};
        parent.lpfnWndProc = RecorderA;
        parent.hInstance = GetModuleHandleA(nullptr);
        parent.lpszClassName = "dialog stand-in";
        RegisterClassA(&parent);
    }
    void TearDown() override { ForgetAllRecords(); }
};

HWND CaretWindow() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetCurrentThreadId(), &info);
    return info.hwndCaret;
}

int Notifications(HWND parent, HWND control, WORD code) {
    int n = 0;
    for (const Received& r : g_received)
        if (r.window == parent && r.message == WM_COMMAND && HIWORD(r.wParam) == code) ++n;
    (void)control;
    return n;
}

// A field of a dialog, subclassed by an IME's request while it has the
// focus, then the user moves on: the control runs its own focus-loss
// handling (its parent hears EN_KILLFOCUS, the caret goes) and has its own
// procedure back.
TEST_F(SubclassProcOnWinesEdit, FocusLossReachesTheControl) {
    for (const char* className : {"EDIT", "kvexedit"}) {
        SCOPED_TRACE(className);
        HWND parent = CreateWindowA("dialog stand-in", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 100,
                                    nullptr, nullptr, nullptr, nullptr);
        HWND edit = CreateWindowA(className, "abc", WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, parent,
                                  reinterpret_cast<HMENU>(7), nullptr, nullptr);
        ASSERT_NE(edit, nullptr);
        LONG_PTR own = GetWindowLongPtrA(edit, GWLP_WNDPROC);
        SetFocus(edit);
        ASSERT_EQ(GetFocus(), edit);
        ASSERT_EQ(CaretWindow(), edit);

        CWPSTRUCT request = {0, IMR_RECONVERTSTRING, WM_IME_REQUEST, edit};
        CallWndHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&request));
        EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
        ASSERT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(ReconvertEditProc));

        g_received.clear();
        SetFocus(parent);
        EXPECT_EQ(Notifications(parent, edit, EN_KILLFOCUS), 1);
        EXPECT_EQ(CaretWindow(), nullptr) << "the control keeps its caret";
        EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), own);
        EXPECT_EQ(RecordCount(), 0);
        EXPECT_EQ(SharedState.SubclassedWindow, nullptr);
        DestroyWindow(parent);
    }
}

// Wine's own EDIT control, subclassed: typing and selections still work,
// requests are answered from its text, focus loss gives it back.
TEST_F(SubclassProcOnWinesEdit, ServesAndGivesBack) {
    HWND edit = CreateWindowA("EDIT", "hello world", WS_OVERLAPPEDWINDOW, 0, 0, 200, 50, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_NE(edit, nullptr);
    WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReconvertEditProc)));
    ASSERT_NE(AddLocalSubclass(edit, previous, FALSE), nullptr);
    SharedState.lpfnoldedit = previous;
    SharedState.SubclassedWindow = edit;
    SharedState.SubclassedUnicode = FALSE;

    SendMessageA(edit, EM_SETSEL, 5, 5);
    SendMessageA(edit, WM_CHAR, '!', 1);
    char text[32];
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "hello! world");

    alignas(8) BYTE record[160] = {};
    ClearTraceLines();
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 0)
        << "no two-byte characters to offer";
    ASSERT_GE(TraceTexts().size(), 4u);
    EXPECT_EQ(TraceTexts()[3], "str=[hello! world] pos=6 6 0");
    EXPECT_EQ(SendMessageA(edit, SharedState.MsgAtokDocumentFeed, 0, reinterpret_cast<LPARAM>(record)), 160);

    // Nothing was offered, so a confirmation selects nothing, whatever the
    // range the builder packs from the last caret offset.
    ProcessState.LastReconvertOffset = 4;
    reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrOffset = 0;
    reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrLen = 4;
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 1);
    EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELONG(6, 6));

    SendMessageA(edit, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(edit, GWLP_WNDPROC)), previous);
    EXPECT_EQ(RecordCount(), 0);
    DestroyWindow(edit);
}

TEST_F(SubclassProcOnWinesEdit, PasswordEditOffersNothing) {
    HWND edit = CreateWindowA("EDIT", "hunter2", WS_OVERLAPPEDWINDOW | ES_PASSWORD, 0, 0, 200, 50, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReconvertEditProc)));
    ASSERT_NE(AddLocalSubclass(edit, previous, FALSE), nullptr);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    alignas(8) BYTE record[160] = {};
    ClearTraceLines();
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, reinterpret_cast<LPARAM>(record)), 0);
    EXPECT_EQ(SendMessageA(edit, SharedState.MsgMsImeDocumentFeed, 1, reinterpret_cast<LPARAM>(record)), 0)
        << "an empty string is refused even for a document feed";
    for (const std::string& line : TraceTexts()) EXPECT_EQ(line.find("hunter"), std::string::npos) << line;
    DestroyWindow(edit);
    EXPECT_EQ(RecordCount(), 0);
}

// IMR_DOCUMENTFEED, which the system's edit control answers with 0, is
// answered from the control's text in the window's form: UTF-16 for a
// Unicode EDIT, the composition empty at the caret. A password field still
// offers nothing.
TEST_F(SubclassProcOnWinesEdit, DocumentFeedAnsweredWhenTheControlLeavesIt) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "the text needs code page 932";
    for (DWORD style : {0ul, static_cast<unsigned long>(ES_PASSWORD)}) {
        HWND edit = CreateWindowW(L"EDIT", L"\u6F22\u5B57\u3092\u5909\u63DB\u3059\u308B",
                                  WS_OVERLAPPEDWINDOW | style, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(edit && IsWindowUnicode(edit));
        WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(edit, GWLP_WNDPROC));
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReconvertEditProc));
        ASSERT_NE(AddLocalSubclass(edit, previous, TRUE), nullptr);
        SendMessageW(edit, EM_SETSEL, 5, 5);
        EXPECT_EQ(SendMessageW(edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, 0), 160);
        alignas(8) BYTE record[160] = {};
        RECONVERTSTRING* rs = reinterpret_cast<RECONVERTSTRING*>(record);
        LRESULT filled = SendMessageW(edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, reinterpret_cast<LPARAM>(record));
        if (style == 0) {
            EXPECT_EQ(filled, 160);
            EXPECT_EQ(rs->dwStrLen, 7u);
            EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(record + 32)),
                      L"\u6F22\u5B57\u3092\u5909\u63DB\u3059\u308B");
            EXPECT_EQ(rs->dwCompStrOffset, 10u);
            EXPECT_EQ(rs->dwCompStrLen, 0u);
        } else {
            EXPECT_EQ(filled, 0) << "a password field offers nothing";
        }
        DestroyWindow(edit);
        EXPECT_EQ(RecordCount(), 0);
    }
}

}  // namespace

namespace {

// ---- served as the hook serves it, with other programs' procedures around ----

WNDPROC g_below;  // the control's own procedure under the test's procedure
LRESULT CALLBACK ForwardW(HWND w, UINT m, WPARAM wp, LPARAM lp) { return CallWindowProcW(g_below, w, m, wp, lp); }
LRESULT CALLBACK ForwardA(HWND w, UINT m, WPARAM wp, LPARAM lp) { return CallWindowProcA(g_below, w, m, wp, lp); }
// Hiding the line messages; a byte-counting control wrapping every 20 bytes.
LRESULT CALLBACK NoLinesW(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return m == EM_LINELENGTH ? 0 : CallWindowProcW(g_below, w, m, wp, lp);
}
LRESULT CALLBACK WrapsA(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == EM_GETLINECOUNT || m == EM_LINEINDEX || m == EM_LINELENGTH)
        return m == EM_GETLINECOUNT ? 2 : m == EM_LINELENGTH ? 20 : wp == 1 ? 20 : 0;
    return CallWindowProcA(g_below, w, m, wp, lp);
}
// A control that answers the IMR_DOCUMENTFEED size query itself, then the fill with 0.
LRESULT CALLBACK SizesFeedItself(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_IME_REQUEST && wp == IMR_DOCUMENTFEED) return lp == 0 ? 44 : 0;
    return CallWindowProcA(g_below, w, m, wp, lp);
}

std::string Ansi(const std::wstring& w) {
    char out[256] = {};
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return out;
}

class ServedEdit : public SubclassProcOnWinesEdit {
protected:
    void SetUp() override {
        if (!JapaneseCodePage()) GTEST_SKIP() << "the texts need code page 932";
    }
    // The hook meets an IME's request to `edit`, which has `top` installed
    // over its own procedure (with the W call when `wide`).
    HWND Serve(HWND edit, WNDPROC top = nullptr, bool wide = false) {
        if (top != nullptr)
            g_below = reinterpret_cast<WNDPROC>(wide ? SetWindowLongPtrW(edit, GWLP_WNDPROC, LONG_PTR(top))
                                                     : SetWindowLongPtrA(edit, GWLP_WNDPROC, LONG_PTR(top)));
        CWPSTRUCT request = {0, IMR_RECONVERTSTRING, WM_IME_REQUEST, edit};
        CallWndHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&request));
        EXPECT_NE(FindLocalSubclass(edit), nullptr);
        return edit;
    }
    static LRESULT Request(HWND edit, UINT message, WPARAM code, void* record) {
        return IsWindowUnicode(edit) ? SendMessageW(edit, message, code, reinterpret_cast<LPARAM>(record))
                                     : SendMessageA(edit, message, code, reinterpret_cast<LPARAM>(record));
    }
    static void Compose(BYTE* record, uint32_t offset, uint32_t length) {
        reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrOffset = offset;
        reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrLen = length;
    }
};

// The control sized the IME's record (44 bytes) and left the fill: nothing is
// written into it, whatever its dwSize says short of room; a record that
// shows room is filled.
TEST_F(ServedEdit, AFeedTheControlSizedIsNeverWrittenPast) {
    HWND edit = Serve(CreateWindowA("kvexedit", Ansi(L"\u6F22\u5B57\u3092\u5909\u63DB\u3059\u308B").c_str(),
                                    WS_OVERLAPPED, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr),
                      SizesFeedItself);
    SendMessageA(edit, EM_SETSEL, 10, 10);
    ASSERT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, 0), 44) << "the control's own answer";
    for (uint32_t size : {44u, 0u, 20u, 3u}) {
        std::vector<BYTE> block(44 + 64, 0xEE);
        memcpy(block.data(), &size, 4);
        EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, reinterpret_cast<LPARAM>(block.data())), 0);
        for (size_t i = 4; i < block.size(); ++i) ASSERT_EQ(block[i], 0xEE) << "dwSize " << size << ", byte " << i;
    }
    alignas(8) BYTE record[160] = {160};
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_DOCUMENTFEED, reinterpret_cast<LPARAM>(record)), 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwStrLen, 14u);
    DestroyWindow(edit);
}

// A document feed through each entry between a fill and its confirmation:
// the confirmation still selects exactly the composition, bytes 2 to 6.
TEST_F(ServedEdit, AFeedBetweenAFillAndItsConfirmationLosesNothing) {
    HWND edit = Serve(CreateWindowA("kvexedit", ("ab" + Ansi(L"\u6F22\u5B57\u304B\u306A")).c_str(), WS_OVERLAPPED, 0,
                                    0, 200, 50, nullptr, nullptr, nullptr, nullptr));
    const std::pair<UINT, WPARAM> feeds[] = {{SharedState.MsgMsImeDocumentFeed, 1},
                                             {SharedState.MsgAtokDocumentFeed, 0},
                                             {WM_IME_REQUEST, IMR_DOCUMENTFEED}};
    for (const auto& feed : feeds) {
        SendMessageA(edit, EM_SETSEL, 6, 6);
        alignas(8) BYTE record[160] = {160}, other[160] = {160};
        ASSERT_EQ(Request(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, record), 160);
        ASSERT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrOffset, 4u);
        SendMessageA(edit, EM_SETSEL, 8, 8);
        EXPECT_EQ(Request(edit, feed.first, feed.second, other), 160);
        SendMessageA(edit, EM_SETSEL, 6, 6);
        Compose(record, 0, 4);
        EXPECT_EQ(Request(edit, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, record), 1);
        EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELONG(2, 6)) << feed.first;
    }
    DestroyWindow(edit);
}

// A byte-counting kvexedit under a Unicode procedure, and Wine's EDIT
// created as a Unicode window under an ANSI one: positions in the control's
// own units, the record in the window's current form. 東京都庁舎, the caret
// after 東京都, the IME confirms 都庁.
TEST_F(ServedEdit, PositionsInTheControlsOwnUnitsUnderAnotherFormsProcedure) {
    const std::wstring text = L"\u6771\u4EAC\u90FD\u5E81\u820E";
    HWND kvex = Serve(CreateWindowA("kvexedit", Ansi(text).c_str(), WS_OVERLAPPED, 0, 0, 200, 50, nullptr, nullptr,
                                    nullptr, nullptr),
                      ForwardW, true);
    ASSERT_TRUE(IsWindowUnicode(kvex));
    SendMessageA(kvex, EM_SETSEL, 6, 6);
    alignas(8) BYTE record[160] = {160};
    ASSERT_EQ(Request(kvex, WM_IME_REQUEST, IMR_RECONVERTSTRING, record), 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrOffset, 6u) << "bytes of the string";
    EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(record + 32)), text) << "a UTF-16 record";
    Compose(record, 4, 2);
    EXPECT_EQ(Request(kvex, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, record), 1);
    EXPECT_EQ(SendMessageA(kvex, EM_GETSEL, 0, 0), MAKELONG(4, 8)) << "bytes";
    DestroyWindow(kvex);

    HWND edit = Serve(CreateWindowW(L"EDIT", text.c_str(), WS_OVERLAPPED, 0, 0, 200, 50, nullptr, nullptr, nullptr,
                                    nullptr),
                      ForwardA, false);
    ASSERT_FALSE(IsWindowUnicode(edit));
    SendMessageW(edit, EM_SETSEL, 3, 3);
    memset(record, 0, sizeof record);
    ASSERT_EQ(Request(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, record), 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTSTRING*>(record)->dwCompStrOffset, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 32)), Ansi(text)) << "an ANSI record";
    Compose(record, 4, 4);
    EXPECT_EQ(Request(edit, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, record), 1);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(2, 4)) << "UTF-16 units";
    DestroyWindow(edit);
}

// The IME confirms the 2nd and 3rd characters offered: selected in the
// control's own units, whatever its first line (Wine's ANSI EDIT counts
// characters, whatever the form it was created in).
TEST_F(ServedEdit, PositionsInTheControlsOwnUnitsWhateverTheFirstLine) {
    const std::wstring letters(20, L'\uFF21');
    const struct {
        const char* className;
        const wchar_t* text;
        WNDPROC top;
        bool wide;
        int caret, start, end;
    } cases[] = {
        {"kvexedit", L"abc\r\n\u6771\u4EAC\u90FD\u5E81\u820E\u5927\u962A\u5E9C", ForwardW, true, 11, 7, 11},
        {"kvexedit", L"\r\n\u6771\u4EAC\u90FD\u5E81\u820E", ForwardW, true, 8, 4, 8},
        {"kvexedit", L"\u6771\u4EAC\u90FD\u5E81\u820E", NoLinesW, true, 6, 2, 6},
        {"kvexedit", letters.c_str(), WrapsA, false, 10, 2, 6},
        {"EDIT", L"\u6771\u4EAC\u90FD\u5E81\u820E", nullptr, false, 3, 1, 3},
    };
    for (const auto& c : cases) {
        HWND edit = CreateWindowA(c.className, Ansi(c.text).c_str(), WS_OVERLAPPED | ES_MULTILINE, 0, 0, 200, 50,
                                  nullptr, nullptr, nullptr, nullptr);
        CWPSTRUCT created = {0, 0, WM_NCCREATE, edit};
        CallWndHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&created));
        Serve(edit, c.top, c.wide);
        SendMessageA(edit, EM_SETSEL, c.caret, c.caret);
        alignas(8) BYTE record[160] = {160};
        ASSERT_EQ(Request(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, record), 160) << c.caret;
        Compose(record, 2, IsWindowUnicode(edit) ? 2 : 4);
        EXPECT_EQ(Request(edit, WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, record), 1);
        EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELONG(c.start, c.end)) << c.className << " " << c.caret;
        DestroyWindow(edit);
    }
}

// ゔ, ・ and 〜 have no exact form in code page 932 (a best fit would offer ヴ,
// ・ or ～ in their place): whatever is offered converts back to the text
// itself, the run stops before them, and a selection holding one offers
// nothing; also under an ANSI procedure, through which the system converts.
TEST_F(ServedEdit, OnlyCharactersThatConvertBackAreOffered) {
    for (wchar_t c : {L'\u3094', L'\u00B7', L'\u301C'}) for (WNDPROC top : {WNDPROC(nullptr), WNDPROC(ForwardA)}) {
        const std::wstring text = std::wstring(L"\u6771\u4EAC") + c + L"\u5927\u962A";
        HWND edit = Serve(CreateWindowW(L"EDIT", text.c_str(), WS_OVERLAPPED, 0, 0, 200, 50, nullptr, nullptr,
                                        nullptr, nullptr), top);
        for (int caret : {2, 3, 5}) {
            SendMessageW(edit, EM_SETSEL, caret, caret);
            alignas(8) BYTE record[160] = {160};
            ASSERT_EQ(Request(edit, SharedState.MsgMsImeReconvert, IMR_RECONVERTSTRING, record), 160);
            std::wstring offered(reinterpret_cast<wchar_t*>(record + 32));
            EXPECT_EQ(offered, caret == 2 ? text.substr(0, 2) : text.substr(3)) << int(c) << " caret " << caret;
        }
        SendMessageW(edit, EM_SETSEL, 0, 5);
        alignas(8) BYTE record[160] = {160};
        EXPECT_EQ(Request(edit, SharedState.MsgMsImeReconvert, IMR_RECONVERTSTRING, record), 0) << int(c);
        DestroyWindow(edit);
    }
}

}  // namespace
