#include <gtest/gtest.h>
#include <string.h>

#include "module/working_code_page.h"
#include "reconvert/dispatch.h"
#include "support/fake_platform.h"
#include "common/scripted_source.h"

TEST(WorkingCodePage, FollowsTheInputLanguageWhereTheAnsiCodePageHasNoDoubleByteCharacters) {
    const CODEPAGEDESCRIPTION singleByte = {1, {}}, utf8 = {4, {}};
    const struct { unsigned int ansi; const CODEPAGEDESCRIPTION* d; unsigned short language; unsigned int want; } rows[] = {
        {1252, &singleByte, 0x0411, 932}, {65001, &utf8, 0x0411, 932}, {1252, &singleByte, 0x0804, 936},
        {65001, &utf8, 0x0C04, 950},      {1252, &singleByte, 0x0412, 949}, {932, nullptr, 0x0411, CODE_PAGE_ANSI},
        {936, nullptr, 0x0411, CODE_PAGE_ANSI}, {1252, &singleByte, 0x0409, CODE_PAGE_ANSI}, {65001, &utf8, 0x0419, 0}};
    for (const auto& row : rows) {
        FillByteClassTable(row.ansi, row.d);
        NoteAnsiByteClasses();
        EXPECT_EQ(ChooseWorkingCodePage(AnsiHasDoubleByte(), row.language), row.want) << row.ansi << " " << row.language;
    }
}

// Under 1252: a Unicode record worked on in 932 gets what 932 gives, a host's source offers nothing, and
// no request switches the classes under another's work.
TEST(WorkingCodePage, AUnicodeRecordUnder1252IsFilledInTheCodePageEntered) {
    UseCodePage(1252);
    SetUnicodeWindows(true);
    g_source = ScriptedSource();
    g_source.text = "\x8A\xBF\x8E\x9A";  // 漢字 in 932
    unsigned char record[RECORD_SIZE] = {};
    LRESULT answer[3];
    AnswerReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, LPARAM(record), &answer[0], ScriptedTextSource, 932);
    EXPECT_EQ(memcmp(record + RECORD_STRING_OFFSET, u"漢字", 6), 0);
    IsReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, LPARAM(record), &answer[1], ScriptedTextSource);
    ASSERT_TRUE(EnterCodePage(936));
    AnswerReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, LPARAM(record), &answer[2], ScriptedTextSource, 932);
    LeaveCodePage();
    EXPECT_TRUE(answer[0] == RECORD_SIZE && answer[1] == 0 && answer[2] == 0) << answer[0] << answer[1] << answer[2];
    EXPECT_EQ(g_source.getTextCalls, 2);
    EXPECT_FALSE(IsLeadByte(0x8A) || WorkCodePage() != CODE_PAGE_ANSI) << "1252's classes are back";
    SetUnicodeWindows(false);
}
