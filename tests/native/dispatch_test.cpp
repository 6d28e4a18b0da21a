#include <gtest/gtest.h>

#include <string.h>

#include "module/state.h"
#include "reconvert/request_messages.h"
#include "reconvert/text_source.h"
#include "rodavozi.h"
#include "support/fake_platform.h"
#include "common/scripted_source.h"

namespace {

enum { MS_RECONVERT = 0xC101, ATOK_RECONVERT = 0xC102, MS_FEED = 0xC103, ATOK_FEED = 0xC104 };

class Dispatch : public ::testing::Test {
protected:
    unsigned char record[RECORD_SIZE];
    void SetUp() override {
        UseCodePage(932);
        SetRequestMessageIds(MS_RECONVERT, ATOK_RECONVERT, MS_FEED, ATOK_FEED);
        g_source = ScriptedSource();
        g_source.text = "\x82\xA0";
        ClearTraces();
    }
    // Returns IsReconvertMsg's result; *answer keeps 12345 when nothing is stored.
    int Send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) {
        *answer = 12345;
        return IsReconvertMsg(nullptr, message, wParam, lParam, answer, ScriptedTextSource);
    }
};

TEST_F(Dispatch, TableRowByRow) {
    struct Row {
        UINT message;
        WPARAM wParam;
        int handled;
        const char* entry;  // trace expected for a size query
    } rows[] = {
        {WM_IME_REQUEST, 4, 1, "\n0 recon 4 0 "},  {WM_IME_REQUEST, 5, 1, "\n0 recon 5 0 "},
        {WM_IME_REQUEST, 7, 0, nullptr},           {WM_IME_REQUEST, 0, 0, nullptr},
        {MS_RECONVERT, 4, 1, "\n1 recon 4 0 "},    {MS_RECONVERT, 5, 1, "\n1 recon 5 0 "},
        {MS_RECONVERT, 1, 0, nullptr},             {ATOK_RECONVERT, 4, 1, "\n1 recon 4 0 "},
        {ATOK_RECONVERT, 5, 1, "\n1 recon 5 0 "},  {ATOK_RECONVERT, 0, 0, nullptr},
        {MS_FEED, 1, 1, "\n1 recon 0 0 "},         {MS_FEED, 0, 0, nullptr},
        {ATOK_FEED, 0, 1, "\n1 recon 0 0 "},       {ATOK_FEED, 1, 0, nullptr},
        {WM_IME_REQUEST, 6, 0, nullptr},           {WM_IME_NOTIFY, 4, 0, nullptr},
        {0x0100 /* WM_KEYDOWN */, 4, 0, nullptr},
    };
    for (const Row& row : rows) {
        ClearTraces();
        LRESULT answer;
        EXPECT_EQ(Send(row.message, row.wParam, 0, &answer), row.handled) << row.message << "/" << row.wParam;
        if (row.handled) {
            ASSERT_EQ(Traces().size(), 1u);
            EXPECT_EQ(Traces()[0], row.entry);
            EXPECT_EQ(answer, row.wParam == 5 && row.message != MS_FEED ? 0 : 160);
        } else {
            EXPECT_EQ(answer, 12345) << "nothing stored when not handled";
            EXPECT_TRUE(Traces().empty());
        }
    }
    EXPECT_EQ(g_source.getTextCalls + g_source.confirmCalls, 0);
}

TEST_F(Dispatch, RegisteredMessagesFillWideRecords) {
    LRESULT answer;
    g_source.result = -1;
    ASSERT_EQ(Send(MS_FEED, 1, reinterpret_cast<LPARAM>(record), &answer), 1);
    EXPECT_EQ(answer, 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTHEADER*>(record)->dwStrLen, 1u);  // units
    ASSERT_EQ(Send(WM_IME_REQUEST, 4, reinterpret_cast<LPARAM>(record), &answer), 1);
    EXPECT_EQ(reinterpret_cast<RECONVERTHEADER*>(record)->dwStrLen, 2u);  // bytes
}

// The input method manager hands a Unicode window WM_IME_REQUEST in UTF-16:
// the record is filled, and its confirmation read, in units.
TEST_F(Dispatch, WindowRequestsFollowTheWindowsForm) {
    LRESULT answer;
    g_source.result = -1;
    SetUnicodeWindows(true);
    ASSERT_EQ(Send(WM_IME_REQUEST, 4, reinterpret_cast<LPARAM>(record), &answer), 1);
    SetUnicodeWindows(false);
    EXPECT_EQ(answer, 160);
    EXPECT_EQ(reinterpret_cast<RECONVERTHEADER*>(record)->dwStrLen, 1u);  // units
    EXPECT_EQ(record[32] | record[33] << 8, 0x3042);                     // あ in UTF-16
}

TEST_F(Dispatch, AFailedRegistrationNeverMakesMessageZeroARequest) {
    SetRequestMessageIds(MS_RECONVERT, ATOK_RECONVERT, MS_FEED, 0);
    LRESULT answer;
    EXPECT_EQ(Send(0, 0, 0, &answer), 0);
    EXPECT_EQ(answer, 12345);
}

// Another program wrote ordinary message numbers into the shared record: they
// stay ordinary messages, and the numbers registered here still count.
TEST_F(Dispatch, NumbersInTheSharedRecordAreNotRequests) {
    SharedState.MsgMsImeReconvert = 0x00B1;     // EM_SETSEL
    SharedState.MsgMsImeDocumentFeed = 0x00C2;  // EM_REPLACESEL
    SharedState.MsgAtokDocumentFeed = 0x000C;   // WM_SETTEXT
    SharedState.MsgAtokReconvert = 0;
    LRESULT answer;
    EXPECT_EQ(Send(0x000C, 0, reinterpret_cast<LPARAM>(record), &answer), 0);
    EXPECT_EQ(Send(0x00C2, 1, reinterpret_cast<LPARAM>(record), &answer), 0);
    EXPECT_EQ(Send(0x00B1, 4, 8, &answer), 0);
    EXPECT_EQ(answer, 12345);
    EXPECT_EQ(g_source.getTextCalls + g_source.confirmCalls, 0);
    EXPECT_EQ(Send(ATOK_RECONVERT, 4, 0, &answer), 1);
    EXPECT_EQ(answer, 160);
}

}  // namespace
