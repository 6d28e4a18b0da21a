#include <gtest/gtest.h>

#include "hook/proc_ownership.h"

namespace {

TEST(ProcOwnership, ExactAddressOnlyForAnsiSubclass) {
    const uintptr_t ours = 0x10001000;
    EXPECT_TRUE(RunsReconvertProc(ours, ours, 0));
    EXPECT_FALSE(RunsReconvertProc(ours + 1, ours, 0));
    EXPECT_FALSE(RunsReconvertProc(ours - 1, ours, 0));
    EXPECT_FALSE(RunsReconvertProc(0, ours, 0));
}

TEST(ProcOwnership, SignedDifferenceBelowHundredAfterWideSubclass) {
    const uintptr_t ours = 0x10001000;
    EXPECT_TRUE(RunsReconvertProc(ours + 99, ours, 1));
    EXPECT_FALSE(RunsReconvertProc(ours + 100, ours, 1));
    EXPECT_TRUE(RunsReconvertProc(ours - 1, ours, 1));
    EXPECT_TRUE(RunsReconvertProc(0, ours, 1));
    EXPECT_TRUE(RunsReconvertProc(ours + 0x80000000u, ours, 1));
    EXPECT_FALSE(RunsReconvertProc(ours + 0x7FFFFFFFu, ours, 1));
    EXPECT_TRUE(RunsReconvertProc(ours + 0xFFFFFFF0u, ours, 1));
}

TEST(ProcOwnership, OnlyTheLow32BitsOfA64BitDifferenceCount) {
    if (sizeof(uintptr_t) < 8) GTEST_SKIP();
    const uintptr_t ours = static_cast<uintptr_t>(0x00007FF812340000ull);
    // A procedure 4 GiB + 50 bytes away has a low difference of 50.
    EXPECT_TRUE(RunsReconvertProc(ours + (static_cast<uintptr_t>(1) << 32) + 50, ours, 1));
    EXPECT_FALSE(RunsReconvertProc(ours + (static_cast<uintptr_t>(1) << 32) + 500, ours, 1));
}

}  // namespace
