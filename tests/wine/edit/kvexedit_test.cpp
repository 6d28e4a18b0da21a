// The "kvexedit" editor behaves as an ANSI edit control with positions in
// bytes: the other tests and the demo rely on it.
#include <gtest/gtest.h>
#include <windows.h>

#include <imm.h>

#include <string>

#include "kvexedit.h"
#include "support/processes.h"

namespace {

const std::string HA = "\x82\xA0", HI = "\x82\xA2";

class KvexEditTest : public ::testing::Test {
protected:
    HWND editor = nullptr;

    void SetUp() override {
        ASSERT_TRUE(RegisterKvexEditClass(GetModuleHandleA(nullptr)));
        ASSERT_TRUE(RegisterKvexEditClass(GetModuleHandleA(nullptr))) << "a second registration is fine";
        editor = CreateWindowA(KVEXEDIT_CLASS, "start", WS_OVERLAPPEDWINDOW | ES_MULTILINE, 0, 0, 300, 120,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(editor, nullptr);
    }
    void TearDown() override { DestroyWindow(editor); }

    std::string Text() {
        char text[256] = {};
        GetWindowTextA(editor, text, sizeof text);
        return text;
    }
    void SetText(const std::string& text) { SetWindowTextA(editor, text.c_str()); }
    DWORD Selection() { return static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0)); }
    void Select(int start, int end) { SendMessageA(editor, EM_SETSEL, start, end); }
    void Type(const std::string& bytes) {
        for (char c : bytes) SendMessageA(editor, WM_CHAR, static_cast<BYTE>(c), 1);
    }
};

TEST_F(KvexEditTest, TextAndLengthInBytes) {
    EXPECT_EQ(Text(), "start") << "the creation title is the text";
    SetText("abc" + HA + "d");
    EXPECT_EQ(GetWindowTextLengthA(editor), 6);
    EXPECT_EQ(Selection(), 0u) << "setting the text puts the caret at 0";
    char small[5];
    EXPECT_EQ(GetWindowTextA(editor, small, sizeof small), JapaneseCodePage() ? 3 : 4);
    EXPECT_EQ(std::string(small), JapaneseCodePage() ? "abc" : "abc\x82") << "a two-byte character is not split";
}

TEST_F(KvexEditTest, SelectionAsEditControlsTakeIt) {
    SetText("0123456789");
    Select(2, 5);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(2, 5)));
    Select(7, 3);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(3, 7))) << "reported in order";
    Type("x");
    EXPECT_EQ(Text(), "012x789");
    Select(0, -1);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(0, 7)));
    Select(2, 4);
    Select(-1, 0);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(4, 4))) << "-1 drops the selection at the caret";
    Select(50, 60);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(7, 7)));
    DWORD start = 99, end = 99;
    SendMessageA(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(end, 7u);
}

TEST_F(KvexEditTest, TypedAndImeTextReplacesTheSelection) {
    if (!JapaneseCodePage()) GTEST_SKIP() << "two-byte characters need code page 932";
    SetText("ab");
    Select(1, 1);
    Type(HA);  // a two-byte character typed as two WM_CHAR
    SendMessageA(editor, WM_IME_CHAR, 0x82A2, 1);
    EXPECT_EQ(Text(), "a" + HA + HI + "b");
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(5, 5)));
    Type("\b");
    EXPECT_EQ(Text(), "a" + HA + "b") << "backspace takes the whole character";
    Select(1, 3);
    KvexEditReplaceSelection(editor, "xyz");
    EXPECT_EQ(Text(), "axyzb");
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(4, 4)));
}

TEST_F(KvexEditTest, LineBreaksAndKeys) {
    SetText("ab");
    Select(2, 2);
    Type("\rcd");
    EXPECT_EQ(Text(), "ab\r\ncd");
    Select(4, 4);
    Type("\b");
    EXPECT_EQ(Text(), "abcd") << "CR LF goes as one";
    SendMessageA(editor, WM_KEYDOWN, VK_HOME, 0);
    SendMessageA(editor, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(Text(), "bcd");
    SendMessageA(editor, WM_KEYDOWN, VK_END, 0);
    SendMessageA(editor, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(2, 2)));
}

TEST_F(KvexEditTest, PasswordCharacterFollowsTheStyle) {
    EXPECT_EQ(SendMessageA(editor, EM_GETPASSWORDCHAR, 0, 0), 0);
    SendMessageA(editor, EM_SETPASSWORDCHAR, '#', 0);
    EXPECT_EQ(SendMessageA(editor, EM_GETPASSWORDCHAR, 0, 0), '#');
    EXPECT_TRUE(GetWindowLongA(editor, GWL_STYLE) & ES_PASSWORD);
    HWND styled = CreateWindowA(KVEXEDIT_CLASS, "", WS_OVERLAPPEDWINDOW | ES_PASSWORD, 0, 0, 100, 40, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(SendMessageA(styled, EM_GETPASSWORDCHAR, 0, 0), '*');
    DestroyWindow(styled);
}

// Focused and painted with a selection: the caret and painting paths. The
// window stays hidden (under Wine without a window manager, hiding a shown
// window waits two seconds), so the paint is asked for directly.
TEST_F(KvexEditTest, PaintsAndTakesTheFocus) {
    SetText("first line\r\nsecond " + (JapaneseCodePage() ? HA + HI : std::string("xy")));
    SetFocus(editor);
    EXPECT_EQ(GetFocus(), editor);
    Select(3, 15);
    SendMessageA(editor, WM_PAINT, 0, 0);
    SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(Selection(), 0u) << "a click at the start puts the caret there";
}

}  // namespace
