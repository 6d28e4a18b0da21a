// The viewer's line format at its edges: reading a payload strictly within
// its size, and what marks a row in the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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
    EXPECT_EQ(FormatTraceLine({1, 2, 3, 4}, p), "01:02:03.004 \\atail\\[unterminated]");
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
    EXPECT_EQ(FormatTraceLine({23, 59, 59, 999}, Of("\\[unterminated]", 16)), "23:59:59.999 \\\\[unterminated]");
}

}  // namespace
