// The hook in one process: the DLL is loaded and InitReconvertEdit called by
// the test, which then sends IME requests to windows of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_text.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

UINT g_msReconvert;
int g_ownProcCalls;

LRESULT CALLBACK OwnEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_ownProcCalls;
    if (message == EM_GETSEL) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Classes of the test's own named as edit controls and not. The test's "EDIT"
// hides the system's class of that name; `withEdit` false lets the system's
// answer.
void RegisterOwnClasses(bool withEdit) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnEditProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    for (const char* name : {"KVEXEDIT", "kvexedit", "RichEdit20A", "Edit2", "edit "}) {
        wc.lpszClassName = name;
        RegisterClassA(&wc);
    }
    // Unregistering a class this program never registered may take the
    // system's own away under Wine.
    WNDCLASSA existing;
    bool ours = GetClassInfoA(wc.hInstance, "EDIT", &existing) && existing.lpfnWndProc == OwnEditProc;
    wc.lpszClassName = "EDIT";
    if (withEdit && !ours) RegisterClassA(&wc);
    if (!withEdit && ours) UnregisterClassA("EDIT", wc.hInstance);
}

// The viewer exists before the DLL attaches, whatever test runs first.
class ViewerBeforeAttach : public ::testing::Environment {
    void SetUp() override {
        CreateTraceWindow();
        Dll();
    }
};
::testing::Environment* const g_viewer = ::testing::AddGlobalTestEnvironment(new ViewerBeforeAttach);

class Hook : public ::testing::Test {
protected:
    std::vector<HWND> windows;
    static void SetUpTestSuite() { g_msReconvert = RegisterWindowMessageA("MSIMEReconvert"); }
    void SetUp() override {
        RegisterOwnClasses(true);
        ASSERT_NE(Dll().module, nullptr);
        ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
    }
    void TearDown() override {
        for (HWND window : windows) DestroyWindow(window);
        EXPECT_EQ(Shared()->SubclassedWindow, nullptr) << "destroying the window forgets it";
        Dll().EndReconvertEdit();
    }
    HWND Create(const char* className, HWND parent = nullptr) {
        HWND window = CreateWindowA(className, "", parent ? WS_CHILD : WS_OVERLAPPED, 0, 0, 50, 20, parent, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr) << className;
        if (!parent) windows.push_back(window);
        return window;
    }
    LRESULT SizeQuery(HWND window, UINT message = WM_IME_REQUEST) {
        ClearTraceLines();
        return SendMessageA(window, message, IMR_RECONVERTSTRING, 0);
    }
    std::string Ours() {
        // "query <examined> <ours> " names our procedure's address.
        for (const std::string& line : TraceTexts())
            if (line.rfind("query ", 0) == 0) {
                std::string rest = line.substr(0, line.size() - 1);  // drop the closing blank
                return rest.substr(rest.rfind(' ') + 1);
            }
        return "";
    }
};

TEST_F(Hook, EditClassesAreSubclassedAndAnswered) {
    for (const char* name : {"EDIT", "KVEXEDIT", "kvexedit"}) {
        HWND window = Create(name);
        WNDPROC before = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
        EXPECT_EQ(SizeQuery(window), 160) << name;
        EXPECT_EQ(Shared()->SubclassedWindow, window) << name;
        EXPECT_EQ(Shared()->lpfnoldedit, before) << name;
        EXPECT_NE(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(before)) << name;
    }
    // Wine's own edit control, class "Edit".
    HWND edit = Create("edit");
    EXPECT_EQ(SizeQuery(edit), 160);
    EXPECT_EQ(Shared()->SubclassedWindow, edit);
}

TEST_F(Hook, OtherClassesAreLeftAlone) {
    for (const char* name : {"RichEdit20A", "Edit2", "edit "}) {
        HWND window = Create(name);
        LONG_PTR before = GetWindowLongPtrA(window, GWLP_WNDPROC);
        EXPECT_EQ(SizeQuery(window), 0) << name;
        EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), before) << name;
        EXPECT_TRUE(TraceLines().empty()) << name;
    }
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr);
}

TEST_F(Hook, FirstRequestTracesTheSubclassing) {
    HWND window = Create("KVEXEDIT");
    WNDPROC before = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    ASSERT_EQ(SizeQuery(window, g_msReconvert), 160);
    std::string ours = Ours();
    ASSERT_FALSE(ours.empty());
    char expected[5][200];
    wsprintfA(expected[0], "query %s %s ", Hex32(before).c_str(), ours.c_str());
    wsprintfA(expected[1], "(hwnd=%s %x 0 0 %s %s)", Hex32(window).c_str(), g_msReconvert,
              Hex32(before).c_str(), ours.c_str());
    wsprintfA(expected[2], "subclass ");
    wsprintfA(expected[3], "set %s %s->%s ", Hex32(window).c_str(), Hex32(before).c_str(),
              ours.c_str());
    wsprintfA(expected[4], "\n1 recon 4 0 ");
    EXPECT_EQ(TraceTexts(), std::vector<std::string>(expected, expected + 5));

    // A request to the recorded window itself: the hook says nothing.
    EXPECT_EQ(SizeQuery(window), 160);
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"\n0 recon 4 0 "});
}

TEST_F(Hook, ASecondEditWindowTakesTheRecord) {
    HWND first = Create("KVEXEDIT"), second = Create("kvexedit");
    LONG_PTR firstProc = GetWindowLongPtrA(first, GWLP_WNDPROC);
    SizeQuery(first);
    ASSERT_EQ(Shared()->SubclassedWindow, first);
    EXPECT_EQ(SizeQuery(second), 160);
    EXPECT_EQ(Shared()->SubclassedWindow, second);
    EXPECT_EQ(GetWindowLongPtrA(first, GWLP_WNDPROC), firstProc) << "the first window is given back";
    std::vector<std::string> traces = TraceTexts();
    ASSERT_GE(traces.size(), 4u);
    EXPECT_EQ(traces[2], "\a subclass error ");
    EXPECT_EQ(traces[3], "subclass ");
    // The first window works as before.
    g_ownProcCalls = 0;
    SendMessageA(first, WM_USER, 0, 0);
    EXPECT_EQ(g_ownProcCalls, 1);
}

TEST_F(Hook, AnyImeRequestSubclasses) {
    HWND window = Create("KVEXEDIT");
    ClearTraceLines();
    SendMessageA(window, WM_IME_REQUEST, IMR_DOCUMENTFEED, 0);  // not answered, but it is a request
    EXPECT_EQ(Shared()->SubclassedWindow, window);
}

TEST_F(Hook, ClosingTheStatusWindowOverTheDialogReleases) {
    HWND dialog = Create("RichEdit20A");  // any parent window
    HWND edit = Create("KVEXEDIT", dialog);
    HWND unrelated = Create("Edit2");
    LONG_PTR editProc = GetWindowLongPtrA(edit, GWLP_WNDPROC);
    SizeQuery(edit);
    ASSERT_EQ(Shared()->SubclassedWindow, edit);

    ClearTraceLines();
    SendMessageA(unrelated, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW, 0);
    SendMessageA(dialog, WM_IME_NOTIFY, IMN_OPENSTATUSWINDOW, 0);
    EXPECT_EQ(Shared()->SubclassedWindow, edit);
    EXPECT_TRUE(TraceLines().empty());

    SendMessageA(dialog, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW, 0);
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"*"});
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr);
    EXPECT_EQ(Shared()->lpfnoldedit, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), editProc);
}

TEST_F(Hook, FocusLossGivesTheWindowBack) {
    HWND window = Create("KVEXEDIT");
    LONG_PTR before = GetWindowLongPtrA(window, GWLP_WNDPROC);
    SizeQuery(window);
    ClearTraceLines();
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(TraceTexts(), std::vector<std::string>{"killfocus " + Hex32(window) + " "});
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), before);
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr);
}

TEST_F(Hook, UnicodeEditWindow) {
    RegisterOwnClasses(false);
    HWND window = CreateWindowW(L"edit", L"", WS_OVERLAPPED, 0, 0, 50, 20, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    windows.push_back(window);
    ASSERT_TRUE(IsWindowUnicode(window));
    LONG_PTR before = GetWindowLongPtrW(window, GWLP_WNDPROC);
    EXPECT_EQ(SizeQuery(window), 160);
    EXPECT_EQ(Shared()->SubclassedWindow, window);
    EXPECT_TRUE(Shared()->SubclassedUnicode);
    SetWindowTextW(window, L"abc");  // still passed on to the edit control
    wchar_t text[8] = {};
    GetWindowTextW(window, text, 8);
    EXPECT_STREQ(text, L"abc");
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), before);
    EXPECT_FALSE(Shared()->SubclassedUnicode);
}

// Two hosts from two folders: two copies of the module hook this process.
// Requests to E1, E2, E1, E1 once made them subclass over each other until
// the chain looped and the next ordinary message overflowed the stack. Run
// with either copy's hook the newer one, on ANSI and Unicode windows.
TEST_F(Hook, TwoCopiesNeverLoopAWindowsChain) {
    RegisterOwnClasses(false);  // the system's Edit class
    HMODULE second = LoadLibraryW((TestFolder() + L"second-copy\\RODAVOZI.DLL").c_str());  // copied there by the build
    ASSERT_TRUE(second != nullptr && second != Dll().module);
    auto proc = [second](const char* name) { return reinterpret_cast<void*>(GetProcAddress(second, name)); };
    auto secondInit = reinterpret_cast<int(WINAPI*)(DWORD)>(proc("InitReconvertEdit"));
    auto secondEnd = reinterpret_cast<BOOL(WINAPI*)()>(proc("EndReconvertEdit"));
    ASSERT_EQ(secondInit(0), 1);  // the newer hook, which runs first
    for (int newer : {2, 1}) {
        if (newer == 1 && !(Dll().EndReconvertEdit() && Dll().InitReconvertEdit(0))) ADD_FAILURE() << "hook again";
        for (bool unicode : {false, true}) {
            HWND e[2];
            for (HWND& w : e) {
                w = unicode ? CreateWindowW(L"edit", L"", 0, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr)
                            : Create("edit");
                SetWindowTextA(w, "abcd");
            }
            LONG_PTR own = GetWindowLongPtrA(e[0], GWLP_WNDPROC);
            for (int step : {0, 1, 0, 0, 1}) {
                EXPECT_EQ(SizeQuery(e[step]), 160);
                std::vector<std::string> lines = TraceTexts();
                EXPECT_LE(std::count(lines.begin(), lines.end(), "subclass "), 1) << "one copy serves a window";
                for (HWND w : e) {  // ordinary messages reach the control: default processing keeps no selection
                    SendMessageA(w, EM_SETSEL, 1, 3);
                    EXPECT_EQ(SendMessageA(w, EM_GETSEL, 0, 0), MAKELONG(1, 3)) << newer << " newer, W " << unicode;
                }
            }
            for (HWND w : e) {
                SendMessageA(w, WM_KILLFOCUS, 0, 0);
                EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), own) << "given back whole";
                DestroyWindow(w);
            }
        }
    }
    EXPECT_NE(secondEnd(), 0);
    FreeLibrary(second);
}

}  // namespace

TEST(HookControl, EndReconvertEditRemovesTheHookOnce) {
    RegisterOwnClasses(true);
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
    ASSERT_NE(Shared()->HookHandle, nullptr);
    EXPECT_NE(Dll().EndReconvertEdit(), 0);
    EXPECT_EQ(Shared()->HookHandle, nullptr);
    EXPECT_EQ(Dll().EndReconvertEdit(), 0);
    // No hook: a request to a new edit window is not answered.
    HWND window = CreateWindowA("KVEXEDIT", "", WS_OVERLAPPED, 0, 0, 50, 20, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendMessageA(window, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 0);
    DestroyWindow(window);
}

// The host stops while one of its own windows is subclassed, and the module
// is freed to no reference: it stays pinned and the window keeps working.
TEST(HookControl, AWindowOutlivesTheModuleInItsOwnProcess) {
    RegisterOwnClasses(false);  // the system's Edit control
    WNDCLASSA frame = {};
    frame.lpfnWndProc = DefWindowProcA;
    frame.hInstance = GetModuleHandleA(nullptr);
    frame.lpszClassName = "outliving frame";
    RegisterClassA(&frame);
    HWND parent = CreateWindowA("outliving frame", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 80, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    HWND edit = CreateWindowA("EDIT", "abc def", WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, parent, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
    LONG_PTR own = GetWindowLongPtrA(edit, GWLP_WNDPROC);
    SetFocus(edit);
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    bool subclassed = GetWindowLongPtrA(edit, GWLP_WNDPROC) != own;
    // Removed before anything can stop the test: a hook left behind would
    // serve the next programs of the session.
    EXPECT_NE(Dll().EndReconvertEdit(), 0);
    ASSERT_TRUE(subclassed);
    HMODULE module = Dll().module;
    for (int frees = 0; frees < 64 && MappedAt(module); ++frees) FreeLibrary(module);
    EXPECT_TRUE(MappedAt(module)) << "a subclassing process keeps the module mapped";

    SetWindowTextA(edit, "hello");
    char text[16] = {};
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "hello");
    SendMessageA(edit, EM_SETSEL, 1, 3);
    EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELONG(1, 3));
    SendMessageA(edit, WM_CHAR, 'x', 1);
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "hxlo");
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160) << "still served by the subclass";
    SetFocus(parent);
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), own) << "given back on focus loss";
    EXPECT_TRUE(DestroyWindow(parent));
}
