// IsReconvertMsg through the loaded DLL, with the tests' scripted text source,
// and the trace lines as the viewer window receives them. The dispatch table
// and the records byte for byte are the native tests' (dispatch_test,
// record_builder_test); here, what only the real module in a real process
// shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/scripted_source.h"
#include "common/test_text.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

class IsReconvertMsgTest : public ::testing::Test {
protected:
    HWND window = reinterpret_cast<HWND>(0x1234);
    alignas(8) BYTE record[160];
    RECONVERTSTRING* rs() { return reinterpret_cast<RECONVERTSTRING*>(record); }

    static void SetUpTestSuite() {
        CreateTraceWindow();  // before the DLL attaches, so that it finds the viewer
        ASSERT_NE(Dll().module, nullptr);
    }
    void SetUp() override {
        g_source = ScriptedSource();
        memset(record, 0xCC, sizeof record);
        ClearTraceLines();
    }
    LRESULT Request(UINT message, WPARAM wParam, const std::string& text, int result) {
        g_source.text = text;
        g_source.result = result;
        LRESULT answer = -7;
        EXPECT_EQ(Dll().IsReconvertMsg(window, message, wParam, reinterpret_cast<LPARAM>(record), &answer,
                                       ScriptedTextSource),
                  1);
        return answer;
    }
};

TEST_F(IsReconvertMsgTest, ModuleRegisteredTheFourMessagesInItsSharedRecord) {
    volatile SharedView* shared = Shared();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->MsgMsImeReconvert, RegisterWindowMessageA("MSIMEReconvert"));
    EXPECT_EQ(shared->MsgAtokReconvert, RegisterWindowMessageA("Atok Message for ReconvertString"));
    EXPECT_EQ(shared->MsgMsImeDocumentFeed, RegisterWindowMessageA("MSIMEDocumentFeed"));
    EXPECT_EQ(shared->MsgAtokDocumentFeed, RegisterWindowMessageA("Atok Message for DocumentFeed"));
    EXPECT_NE(shared->MsgMsImeReconvert, 0u);
    // The registered numbers are requests of the real module.
    EXPECT_EQ(Request(shared->MsgAtokDocumentFeed, 0, "ab", 1), 160);
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
    EXPECT_EQ(g_source.lastWindow, window) << "the window is passed to the source unchanged";
}

TEST_F(IsReconvertMsgTest, SingleByteCodePageOffersNothing) {
    if (JapaneseCodePage()) GTEST_SKIP() << "checks a single-byte code page";
    EXPECT_EQ(Request(WM_IME_REQUEST, 4, "\x82\xA0", -1), 0);
    EXPECT_EQ(Request(WM_IME_REQUEST, 4, "\x82\xA0\x82\xA2", 2), 0);
    EXPECT_EQ(rs()->dwStrLen, 0u);
}

}  // namespace
