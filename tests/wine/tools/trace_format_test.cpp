// The viewer's line format at its edges: reading a payload strictly within
// its size, and what marks a row in the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "trace_code_page.h"
#include "trace_format.h"

namespace {

TracePayload Of(const char* bytes, size_t size) { return {reinterpret_cast<const unsigned char*>(bytes), size}; }

// A payload that ends right at the end of readable memory, with no zero byte:
// nothing past its size may be touched.
TEST(TraceLineFormat, NeverReadsPastThePayload) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize;
    char* memory = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(memory, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
    char* payload = memory + page - 5;
    memcpy(payload, "\x07tail", 5);
    TracePayload p = Of(payload, 5);
    EXPECT_EQ(FormatTraceLine({1, 2, 3, 4}, p, nullptr), "01:02:03.004 \\atail\\[unterminated]");
    EXPECT_FALSE(p.StartsGroup());
    EXPECT_TRUE(p.HasBell());
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(TraceLineFormat, GroupAndBellAreJudgedOnTheTextOnly) {
    EXPECT_TRUE(Of("\nx", 3).StartsGroup());
    EXPECT_FALSE(Of("x\n", 3).StartsGroup());
    EXPECT_FALSE(Of("\0\n", 2).StartsGroup());
    EXPECT_FALSE(Of(nullptr, 0).StartsGroup());
    EXPECT_TRUE(Of("odd\x07", 5).HasBell());
    EXPECT_FALSE(Of("ok\0\x07", 4).HasBell());
    EXPECT_FALSE(Of("\x07", 0).HasBell());
}

// A text that reads like the marker is told apart by its escaped backslash.
TEST(TraceLineFormat, TheUnterminatedMarkerCannotComeFromText) {
    EXPECT_EQ(FormatTraceLine({23, 59, 59, 999}, Of("\\[unterminated]", 16), nullptr),
              "23:59:59.999 \\\\[unterminated]");
}

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0x7E and
// 0x80-0xFC. A lead byte stays as it came only with its trail byte.
TEST(TraceLineFormat, ALeadByteWithoutItsTrailIsEscapedAndNeverPairsWithAnEscape) {
    TraceCodePage cp932 = {};
    for (int b = 0; b < 256; ++b) {
        cp932.lead[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        cp932.trail[b] = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    }
    const struct {
        const char* text;
        size_t size;
        const char* line;
    } rows[] = {
        {"\x82\xa0\x95\\", 5, "\x82\xa0\x95\\"},  // あ, and 表 whose trail byte is a backslash
        {"\x82\n", 3, "\\x82\\n"},                 // a lone lead byte before an escape
        {"\x82\x07\x82\x7f\x82\t", 7, "\\x82\\a\\x82\\x7F\\x82\\t"},
        {"\\\x82", 2, "\\\\\\x82\\[unterminated]"},  // the last byte, before the marker
        {"a\xfc\xfd\xa1", 5, "a\\xFC\xfd\xa1"},     // 0xFD is no trail byte
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatTraceLine({0, 0, 0, 0}, Of(row.text, row.size), &cp932),
                  std::string("00:00:00.000 ") + row.line);
    // A single-byte code page leaves the byte as it came.
    EXPECT_EQ(FormatTraceLine({0, 0, 0, 0}, Of("\x82\n", 3), nullptr), "00:00:00.000 \x82\\n");
    // A cut falls between characters and says how long the text was.
    EXPECT_EQ(FormatTraceLine({0, 0, 0, 0}, Of("a\x82\xa0\x82\xa0", 6), &cp932, 4),
              "00:00:00.000 a\x82\xa0\\[cut: 5 bytes in all]");
}

}  // namespace

// A line in another code page than the viewer's (932): an escape names what 932 lacks; the window shows it.
TEST(TraceLineFormat, ALineInAnotherCodePageNamesWhatOursLacks) {
    ASSERT_EQ(GetACP(), 932u);
    EXPECT_EQ(InAnsiCodePage("[\xC7\xD1\xED\xAE\\\\]", 949), "[\\u{D55C}\x8E\x9A\\\\]");
    EXPECT_EQ(ShowEscapedCharacters(L"[\\u{D55C}\\u{20BB7}\\\\u{41}]"), L"[\xD55C\xD842\xDFB7\\\\u{41}]");
}
