#include <gtest/gtest.h>

#include <string.h>

#include "module/working_code_page.h"
#include "reconvert/dispatch.h"
#include "reconvert/text_source.h"
#include "rodavozi.h"
#include "support/fake_platform.h"
#include "support/scripted_source.h"

namespace {

TEST(WorkingCodePage, FollowsTheInputLanguageWhereTheAnsiCodePageHasNoDoubleByteCharacters) {
    const CODEPAGEDESCRIPTION singleByte = {1, {}}, utf8 = {4, {}};
    const struct {
        unsigned int ansi;
        const CODEPAGEDESCRIPTION* description;
        unsigned short language;
        unsigned int expected;
    } rows[] = {
        {1252, &singleByte, 0x0411, 932},           {65001, &utf8, 0x0411, 932},
        {1252, &singleByte, 0x0804, 936},           {65001, &utf8, 0x0C04, 950},
        {1252, &singleByte, 0x0412, 949},           {932, nullptr, 0x0411, CODE_PAGE_ANSI},
        {936, nullptr, 0x0411, CODE_PAGE_ANSI},     {1252, &singleByte, 0x0409, CODE_PAGE_ANSI},
        {65001, &utf8, 0x0419, CODE_PAGE_ANSI},
    };
    for (const auto& row : rows) {
        FillByteClassTable(row.ansi, row.description);
        NoteAnsiByteClasses();
        EXPECT_EQ(ChooseWorkingCodePage(AnsiHasDoubleByte(), row.language), row.expected)
            << row.ansi << " with input language " << std::hex << row.language;
    }
}

// A Unicode window's text under code page 1252, worked on in 932: the record
// is what 932 gives; a host's text source stays in 1252, which offers none.
TEST(WorkingCodePage, AUnicodeRecordUnder1252IsFilledInTheCodePageEntered) {
    UseCodePage(1252);
    SetUnicodeWindows(true);
    g_source = ScriptedSource();
    g_source.text = "\x8A\xBF\x8E\x9A";  // 漢字 in 932
    unsigned char record[RECORD_SIZE];
    auto fill = [&](bool host) {
        memset(record, 0, sizeof record);
        LRESULT answer = -1;
        LPARAM lParam = reinterpret_cast<LPARAM>(record);
        if (host) IsReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, lParam, &answer, ScriptedTextSource);
        else AnswerReconvertMsg(nullptr, WM_IME_REQUEST, IMR_RECONVERTSTRING, lParam, &answer, ScriptedTextSource, 932);
        return answer;
    };
    EXPECT_EQ(fill(false), RECORD_SIZE);
    EXPECT_EQ(memcmp(record + RECORD_STRING_OFFSET, u"漢字", 6), 0);
    EXPECT_FALSE(IsLeadByte(0x8A)) << "1252's classes are back after the request";
    EXPECT_EQ(fill(true), 0);
    // Never a table switched under another request's work.
    ASSERT_TRUE(EnterCodePage(936));
    EXPECT_EQ(fill(false), 0);
    EXPECT_EQ(g_source.getTextCalls, 2);
    LeaveCodePage();
    EXPECT_EQ(WorkCodePage(), CODE_PAGE_ANSI);
    SetUnicodeWindows(false);
}

}  // namespace
