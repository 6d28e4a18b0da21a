// IsReconvertMsg through the loaded DLL, with a text source of the test's own,
// and the trace lines as the viewer window receives them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/test_text.h"
#include "support/loaded_dll.h"
#include "support/trace_window.h"

namespace {

const std::string A = "\x82\xA0", I = "\x82\xA2", U = "\x82\xA4", E = "\x82\xA6", O = "\x82\xA8";

struct Source {
    std::string text;
    int result = -1;
    int getText = 0, confirm = 0;
    UINT range = 0;
    HWND window = nullptr;
} g_source;

int CALLBACK TestSource(HWND window, int request, UINT range, char* buffer) {
    g_source.window = window;
    if (request == TSR_GETTEXT) {
        ++g_source.getText;
        memcpy(buffer, g_source.text.c_str(), g_source.text.size() + 1);
        return g_source.result;
    }
    ++g_source.confirm;
    g_source.range = range;
    return 0;
}

class IsReconvertMsgTest : public ::testing::Test {
protected:
    UINT msReconvert, atokReconvert, msFeed, atokFeed;
    HWND window = reinterpret_cast<HWND>(0x1234);
    alignas(8) BYTE record[160];
    RECONVERTSTRING* rs() { return reinterpret_cast<RECONVERTSTRING*>(record); }

    static void SetUpTestSuite() {
        CreateTraceWindow();  // before the DLL attaches, so that it finds the viewer
        ASSERT_NE(Dll().module, nullptr);
    }
    void SetUp() override {
        msReconvert = RegisterWindowMessageA("MSIMEReconvert");
        atokReconvert = RegisterWindowMessageA("Atok Message for ReconvertString");
        msFeed = RegisterWindowMessageA("MSIMEDocumentFeed");
        atokFeed = RegisterWindowMessageA("Atok Message for DocumentFeed");
        g_source = Source();
        memset(record, 0xCC, sizeof record);
        ClearTraceLines();
    }
    int Send(UINT message, WPARAM wParam, void* lParam, LRESULT* answer) {
        return Dll().IsReconvertMsg(window, message, wParam, reinterpret_cast<LPARAM>(lParam), answer, TestSource);
    }
    LRESULT Request(UINT message, WPARAM wParam, const std::string& text, int result) {
        g_source.text = text;
        g_source.result = result;
        LRESULT answer = -7;
        EXPECT_EQ(Send(message, wParam, record, &answer), 1);
        return answer;
    }
    std::vector<BYTE> Bytes(size_t from, size_t count) {
        return std::vector<BYTE>(record + from, record + from + count);
    }
    bool Japanese() { return GetACP() == 932; }
};

TEST_F(IsReconvertMsgTest, ModuleRegisteredTheFourMessagesInItsSharedRecord) {
    volatile SharedView* shared = Shared();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->MsgMsImeReconvert, msReconvert);
    EXPECT_EQ(shared->MsgAtokReconvert, atokReconvert);
    EXPECT_EQ(shared->MsgMsImeDocumentFeed, msFeed);
    EXPECT_EQ(shared->MsgAtokDocumentFeed, atokFeed);
    EXPECT_NE(msReconvert, 0u);
}

TEST_F(IsReconvertMsgTest, DispatchTableRowByRow) {
    struct Row {
        UINT message;
        WPARAM wParam;
        int handled;
        LRESULT sizeAnswer;
        const char* entry;
    } rows[] = {
        {WM_IME_REQUEST, IMR_RECONVERTSTRING, 1, 160, "\n0 recon 4 0 "},
        {WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING, 1, 0, "\n0 recon 5 0 "},
        {WM_IME_REQUEST, IMR_DOCUMENTFEED, 0, 0, nullptr},
        {WM_IME_REQUEST, IMR_QUERYCHARPOSITION, 0, 0, nullptr},
        {msReconvert, 4, 1, 160, "\n1 recon 4 0 "},
        {msReconvert, 5, 1, 0, "\n1 recon 5 0 "},
        {msReconvert, 0, 0, 0, nullptr},
        {atokReconvert, 4, 1, 160, "\n1 recon 4 0 "},
        {atokReconvert, 5, 1, 0, "\n1 recon 5 0 "},
        {atokReconvert, 7, 0, 0, nullptr},
        {msFeed, 1, 1, 160, "\n1 recon 0 0 "},
        {msFeed, 0, 0, 0, nullptr},
        {atokFeed, 0, 1, 160, "\n1 recon 0 0 "},
        {atokFeed, 1, 0, 0, nullptr},
        {WM_IME_NOTIFY, 4, 0, 0, nullptr},
        {WM_KEYDOWN, 4, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        ClearTraceLines();
        LRESULT answer = 4242;
        EXPECT_EQ(Send(row.message, row.wParam, nullptr, &answer), row.handled) << row.message << "/" << row.wParam;
        if (row.handled) {
            EXPECT_EQ(answer, row.sizeAnswer);
            EXPECT_EQ(TraceTexts(), std::vector<std::string>{row.entry});
        } else {
            EXPECT_EQ(answer, 4242);
            EXPECT_TRUE(TraceLines().empty());
        }
    }
    EXPECT_EQ(g_source.getText + g_source.confirm, 0) << "size queries never reach the source";
}

TEST_F(IsReconvertMsgTest, TraceLinesTravelAsCopyDataWithTheirTerminator) {
    Request(WM_IME_REQUEST, IMR_RECONVERTSTRING, "abc", 1);
    ASSERT_FALSE(TraceLines().empty());
    for (const TraceLine& line : TraceLines()) {
        EXPECT_EQ(line.dwData, 0u);
        EXPECT_TRUE(line.terminated);
        EXPECT_EQ(line.cbData, line.text.size() + 1);
    }
    EXPECT_EQ(TraceTexts()[0], "\n0 recon 4 " + Hex32(record) + " ");
    EXPECT_EQ(TraceTexts()[1], "noseltext=abc ");
    EXPECT_EQ(g_source.window, window) << "the window is passed to the source unchanged";
}

TEST_F(IsReconvertMsgTest, AnsiSelectionRecordByteExact) {
    if (!Japanese()) GTEST_SKIP() << "double-byte text needs code page 932";
    EXPECT_EQ(Request(WM_IME_REQUEST, IMR_RECONVERTSTRING, A + I, -1), 160);
    const DWORD header[8] = {160, 0xCCCCCCCC, 4, 32, 4, 0, 4, 0};
    EXPECT_EQ(memcmp(record, header, 32), 0);
    EXPECT_EQ(Bytes(32, 6), (std::vector<BYTE>{0x82, 0xA0, 0x82, 0xA2, 0, 0xCC}));
    EXPECT_EQ(TraceTexts(), (std::vector<std::string>{"\n0 recon 4 " + Hex32(record) + " ",
                                                      "seltext=" + A + I + " ", "offset=0 "}));
}

TEST_F(IsReconvertMsgTest, WideCaretRecordByteExact) {
    if (!Japanese()) GTEST_SKIP() << "double-byte text needs code page 932";
    EXPECT_EQ(Request(msReconvert, 4, "abc" + A + I + U + E + O + "z", 9), 160);
    const DWORD header[8] = {160, 0xCCCCCCCC, 5, 32, 0, 6, 0, 6};
    EXPECT_EQ(memcmp(record, header, 32), 0);
    // U+3042 U+3044 U+3046 U+3048 U+304A, little-endian, then one zero unit.
    EXPECT_EQ(Bytes(32, 13), (std::vector<BYTE>{0x42, 0x30, 0x44, 0x30, 0x46, 0x30, 0x48, 0x30, 0x4A, 0x30, 0, 0,
                                                0xCC}));
}

TEST_F(IsReconvertMsgTest, DocumentFeedOfAnEmptyRun) {
    EXPECT_EQ(Request(atokFeed, 0, "ab", 1), 160);
    const DWORD header[8] = {160, 0xCCCCCCCC, 0, 32, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(record, header, 32), 0);
    EXPECT_EQ(Bytes(32, 3), (std::vector<BYTE>{0, 0, 0xCC}));
    EXPECT_EQ(Request(WM_IME_REQUEST, IMR_RECONVERTSTRING, "ab", 1), 0) << "a reconversion needs a run";
}

TEST_F(IsReconvertMsgTest, ConfirmationUsesTheCaretOfTheLastFill) {
    if (!Japanese()) GTEST_SKIP() << "double-byte text needs code page 932";
    Request(msReconvert, 4, "abc" + A + I + U + E + O + "z", 9);  // caret at 6 in the run
    rs()->dwCompStrOffset = 2;
    rs()->dwCompStrLen = 2;
    ClearTraceLines();
    EXPECT_EQ(Request(msReconvert, 5, "", 0), 1);
    EXPECT_EQ(g_source.range, (4u << 16) | 4u);
    EXPECT_EQ(TraceLines().size(), 1u) << "only the entry line";

    // A refused fill keeps the offset; a selection resets it.
    Request(WM_IME_REQUEST, 4, A + "\n", 1);
    rs()->dwCompStrOffset = 3;
    rs()->dwCompStrLen = 4;
    Request(WM_IME_REQUEST, 5, "", 0);
    EXPECT_EQ(g_source.range, (2u << 16) | 4u);
    Request(WM_IME_REQUEST, 4, A, -1);
    rs()->dwCompStrOffset = 0;
    rs()->dwCompStrLen = 2;
    Request(WM_IME_REQUEST, 5, "", 0);
    EXPECT_EQ(g_source.range, 2u);
    EXPECT_EQ(g_source.getText, 3);
}

TEST_F(IsReconvertMsgTest, SingleByteCodePageOffersNothing) {
    if (Japanese()) GTEST_SKIP() << "checks a single-byte code page";
    EXPECT_EQ(Request(WM_IME_REQUEST, 4, "\x82\xA0", -1), 0);
    EXPECT_EQ(Request(WM_IME_REQUEST, 4, "\x82\xA0\x82\xA2", 2), 0);
    EXPECT_EQ(rs()->dwStrLen, 0u);
}

}  // namespace
