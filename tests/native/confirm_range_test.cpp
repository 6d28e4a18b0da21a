#include <gtest/gtest.h>

#include "reconvert/confirm_range.h"

namespace {

TEST(ConfirmRange, DistanceIsEvenAndNeverPastTheCaret) {
    EXPECT_EQ(PackConfirmRange(6, 2, 2, 1), (4u << 16) | 4u);
    EXPECT_EQ(PackConfirmRange(6, 2, 4, 0), (4u << 16) | 4u);
    EXPECT_EQ(RangeDistance(PackConfirmRange(6, 3, 0, 1)), 2u);  // odd distance rounded down
    EXPECT_EQ(RangeDistance(PackConfirmRange(6, 8, 2, 1)), 0u);  // composition past the caret
    EXPECT_EQ(RangeDistance(PackConfirmRange(0, 4, 2, 1)), 0u);  // after a selection
    EXPECT_EQ(RangeDistance(PackConfirmRange(6, 0xFFFFFFFFu, 2, 1)), 0u);  // compared unsigned
}

TEST(ConfirmRange, LengthIsInAnsiBytes) {
    EXPECT_EQ(RangeLength(PackConfirmRange(0, 0, 5, 0)), 4u);  // odd ANSI length rounded down
    EXPECT_EQ(RangeLength(PackConfirmRange(0, 0, 5, 1)), 10u);
    EXPECT_EQ(RangeLength(PackConfirmRange(40, 0, 35, 1)), 70u);
}

TEST(ConfirmRange, AHugeLengthDoesNotSpillIntoTheDistance) {
    uint32_t range = PackConfirmRange(6, 2, 0x8000, 1);
    EXPECT_EQ(RangeDistance(range), 4u);
    EXPECT_EQ(RangeLength(range), 0xFFFEu);
    EXPECT_EQ(RangeDistance(PackConfirmRange(6, 2, 0xFFFFFFFFu, 0)), 4u);
}

}  // namespace
