// The module's start-up and trace channel under a real window system: the
// byte classes of the process's ANSI code page, the viewer lookup, the wire
// format of a trace line.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "module/byte_classes.h"
#include "module/state.h"
#include "module/trace.h"
#include "support/loaded_dll.h"
#include "support/trace_window.h"

namespace {

// The DLL attaches before any test runs, whatever the order or filter, and
// while no viewer exists.
class AttachWithoutViewer : public ::testing::Environment {
    void SetUp() override { Dll(); }
};
::testing::Environment* const g_attach = ::testing::AddGlobalTestEnvironment(new AttachWithoutViewer);

// So it stays silent for the life of the process even once a viewer appears.
TEST(ModuleStartUp, AViewerCreatedAfterAttachIsNeverSeen) {
    ASSERT_NE(Dll().module, nullptr);
    CreateTraceWindow();
    ClearTraceLines();
    LRESULT answer = 0;
    EXPECT_EQ(Dll().IsReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0, &answer, nullptr), 1);
    EXPECT_EQ(answer, 160);
    EXPECT_TRUE(TraceLines().empty());
}

TEST(ModuleStartUp, SharedRecordStartsEmptyApartFromTheMessageIds) {
    volatile SharedView* shared = Shared();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->HookHandle, nullptr);
    EXPECT_EQ(shared->SubclassedWindow, nullptr);
    EXPECT_EQ(shared->lpfnoldedit, nullptr);
    for (int i = 0; i < 0xFFFF; ++i) ASSERT_EQ(shared->TextBuffer[i], 0) << i;
    EXPECT_EQ(shared->MsgMsImeDocumentFeed, RegisterWindowMessageA("MSIMEDocumentFeed"));
}

TEST(ByteClassesOfTheAnsiCodePage, LocaleGivesTheExpectedCodePage) {
    const char* locale = getenv("LC_ALL");
    ASSERT_NE(locale, nullptr);
    const struct {
        const char* prefix;
        UINT codePage;
    } expected[] = {{"ja_JP", 932}, {"zh_CN", 936}, {"ko_KR", 949}, {"zh_TW", 950}, {"en_US", 1252}};
    for (const auto& e : expected)
        if (strncmp(locale, e.prefix, 5) == 0) {
            EXPECT_EQ(GetACP(), e.codePage) << locale;
        }
}

TEST(ByteClassesOfTheAnsiCodePage, FollowGetAcp) {
    BuildByteClassTable();
    switch (GetACP()) {
    case 932:
        EXPECT_TRUE(IsLeadByte(0x81) && IsLeadByte(0xFC) && !IsLeadByte(0xA0) && !IsLeadByte(0xFD));
        EXPECT_TRUE(IsTrailByte(0x40) && !IsTrailByte(0x7F) && IsTrailByte(0x80));
        break;
    case 936:
        EXPECT_TRUE(IsLeadByte(0x81) && IsLeadByte(0xFE) && IsTrailByte(0x40) && !IsTrailByte(0xFF));
        break;
    case 949:
        EXPECT_TRUE(IsLeadByte(0xFE) && !IsTrailByte(0x40) && IsTrailByte(0x41));
        break;
    case 950:
        EXPECT_TRUE(IsLeadByte(0xA4) && IsTrailByte(0x7E) && !IsTrailByte(0x80) && IsTrailByte(0xA1));
        break;
    default:
        for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsLeadByte(b) || IsTrailByte(b)) << GetACP() << " " << b;
    }
}

// A page outside the built-in list takes its lead bytes from the platform.
TEST(ByteClassesOfTheAnsiCodePage, DescribedByThePlatform) {
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(936, &info));
    CODEPAGEDESCRIPTION description = {info.MaxCharSize, {}};
    memcpy(description.LeadByte, info.LeadByte, sizeof description.LeadByte);
    FillByteClassTable(54936 + 1, &description);  // not built in: described as 936 is
    EXPECT_TRUE(IsLeadByte(0x81) && IsLeadByte(0xFE) && !IsLeadByte(0x80));
    EXPECT_TRUE(IsTrailByte(0x01) && IsTrailByte(0xFE) && !IsTrailByte(0xFF));
    BuildByteClassTable();
}

class TraceChannel : public ::testing::Test {
protected:
    void SetUp() override {
        CreateTraceWindow();
        ProcessState.TraceWindow = nullptr;
        FindTraceWindow();
        ClearTraceLines();
    }
};

TEST_F(TraceChannel, LinesArriveExactlyAsFormatted) {
    TraceMessage("query %x %x ", 0xABCDu, 0x12u);
    TraceMessage("offset=%d ", -3);
    TraceMessage("sel[%s]", "\x82\xA0z");
    TraceMessage("%s", "");
    TraceMessage("\a subclass error ");
    TraceMessage("\n%d recon %d %lx ", 1, 4, 0xDEADBEEFul);
    const std::vector<TraceLine>& lines = TraceLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].text, "query abcd 12 ");
    EXPECT_EQ(lines[1].text, "offset=-3 ");
    EXPECT_EQ(lines[2].text, "sel[\x82\xA0z]");
    EXPECT_EQ(lines[3].cbData, 1u) << "an empty line is one zero byte";
    EXPECT_EQ(lines[4].text, "\a subclass error ");
    EXPECT_EQ(lines[5].text, "\n1 recon 4 deadbeef ");
    for (const TraceLine& line : lines) {
        EXPECT_EQ(line.cbData, line.text.size() + 1);
        EXPECT_TRUE(line.terminated);
        EXPECT_EQ(line.dwData, 0u);
    }
}

TEST_F(TraceChannel, SilentWhenSwitchedOffOrWithoutViewer) {
    ProcessState.TraceEnabled = 0;
    TraceMessage("x");
    ProcessState.TraceEnabled = 1;
    ProcessState.TraceWindow = nullptr;
    TraceMessage("y");
    EXPECT_TRUE(TraceLines().empty());
}

TEST_F(TraceChannel, LookupHappensOnlyOnce) {
    HWND found = ProcessState.TraceWindow;
    ASSERT_NE(found, nullptr);
    ProcessState.TraceWindow = reinterpret_cast<HWND>(0x42);
    EXPECT_EQ(FindTraceWindow(), 1);
    EXPECT_EQ(ProcessState.TraceWindow, reinterpret_cast<HWND>(0x42));
    TraceMessage("lost");  // a window that is gone: the send fails quietly
    EXPECT_TRUE(TraceLines().empty());
}

// A window whose thread never handles its messages until released, as a
// viewer that hangs.
struct SilentViewer {
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr), release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
};

DWORD WINAPI SilentWindowThread(LPVOID param) {
    SilentViewer* viewer = static_cast<SilentViewer*>(param);
    viewer->window = CreateWindowA("STATIC", "silent", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetEvent(viewer->created);
    WaitForSingleObject(viewer->release, 60000);
    DestroyWindow(viewer->window);
    return 0;
}

HWND g_afterFirst;
DWORD WINAPI TwoSends(LPVOID) {
    TraceMessage("first ");
    g_afterFirst = ProcessState.TraceWindow;
    TraceMessage("second ");
    return 0;
}

TEST_F(TraceChannel, AViewerThatStopsAnsweringIsDropped) {
    SilentViewer viewer;
    HANDLE thread = CreateThread(nullptr, 0, SilentWindowThread, &viewer, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(viewer.created, 10000), WAIT_OBJECT_0) << "the silent window was not made in 10 s";
    ProcessState.TraceWindow = viewer.window;
    g_afterFirst = viewer.window;
    HANDLE sender = CreateThread(nullptr, 0, TwoSends, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(sender, 10000), WAIT_OBJECT_0) << "a send to a viewer that hangs did not return in 10 s";
    EXPECT_EQ(g_afterFirst, nullptr) << "dropped after its first time-out";
    EXPECT_EQ(ProcessState.TraceWindow, nullptr);
    SetEvent(viewer.release);  // ends the sender too, had it hung
    WaitForSingleObject(sender, 10000);
    WaitForSingleObject(thread, 10000);
    for (HANDLE h : {sender, thread, viewer.created, viewer.release}) CloseHandle(h);
}

}  // namespace
