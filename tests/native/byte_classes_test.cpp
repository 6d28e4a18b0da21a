#include <gtest/gtest.h>

#include <string.h>

#include "module/byte_classes.h"

namespace {

struct Expected {
    unsigned int codePage;
    std::vector<std::pair<int, int>> lead, trail;
};

bool InRanges(int b, const std::vector<std::pair<int, int>>& ranges) {
    for (auto& r : ranges)
        if (b >= r.first && b <= r.second) return true;
    return false;
}

TEST(ByteClasses, BuiltInCodePagesMatchTheirRangesExactly) {
    const Expected pages[] = {
        {932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}}},
        {936, {{0x81, 0xFE}}, {{0x40, 0xFE}}},
        {949, {{0x81, 0xFE}}, {{0x41, 0xFE}}},
        {950, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}}},
        {1361, {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}, {{0x31, 0x7E}, {0x81, 0xFE}}},
    };
    // A description is ignored for built-in pages.
    CODEPAGEDESCRIPTION misleading = {2, {0x20, 0x30}};
    for (const Expected& page : pages) {
        FillByteClassTable(page.codePage, &misleading);
        for (int b = 0; b < 256; ++b) {
            EXPECT_EQ(IsLeadByte(b), InRanges(b, page.lead)) << page.codePage << " byte " << b;
            EXPECT_EQ(IsTrailByte(b), InRanges(b, page.trail)) << page.codePage << " byte " << b;
        }
    }
}

TEST(ByteClasses, RefillClearsThePreviousCodePage) {
    FillByteClassTable(936, nullptr);
    FillByteClassTable(1252, nullptr);
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsLeadByte(b) || IsTrailByte(b)) << b;
}

TEST(ByteClasses, DescribedCodePages) {
    // Lead ranges taken in order up to the first pair holding a zero byte;
    // a reversed pair adds nothing but does not end the list.
    CODEPAGEDESCRIPTION d = {2, {0x81, 0x84, 0x90, 0x88, 0xA0, 0xA1, 0x00, 0xFF, 0xC0, 0xC1}};
    FillByteClassTable(50000, &d);
    for (int b = 0; b < 256; ++b) {
        bool lead = (b >= 0x81 && b <= 0x84) || b == 0xA0 || b == 0xA1;
        EXPECT_EQ(IsLeadByte(b), lead) << b;
        EXPECT_EQ(IsTrailByte(b), b >= 0x01 && b <= 0xFE) << b;
    }

    CODEPAGEDESCRIPTION lastZero = {2, {0x81, 0x00, 0x90, 0x91}};
    FillByteClassTable(50001, &lastZero);
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsLeadByte(b)) << b;
    EXPECT_TRUE(IsTrailByte(0x01));
    EXPECT_FALSE(IsTrailByte(0xFF));

    CODEPAGEDESCRIPTION full = {2, {0x81, 0x81, 0x83, 0x83, 0x85, 0x85, 0x87, 0x87, 0x89, 0x89, 0x8B, 0x8B}};
    FillByteClassTable(50002, &full);
    EXPECT_TRUE(IsLeadByte(0x8B));
    EXPECT_FALSE(IsLeadByte(0x8A));

    CODEPAGEDESCRIPTION single = {1, {0x81, 0xFE}};
    FillByteClassTable(1252, &single);
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsLeadByte(b) || IsTrailByte(b)) << b;

    FillByteClassTable(50003, nullptr);  // nothing known of the code page
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsLeadByte(b) || IsTrailByte(b)) << b;
}

TEST(ByteClasses, NulNeverClassified) {
    for (unsigned int cp : {932u, 936u, 949u, 950u, 1361u}) {
        FillByteClassTable(cp, nullptr);
        EXPECT_FALSE(IsLeadByte(0) || IsTrailByte(0)) << cp;
        for (int b = 0; b <= 0x80; ++b) EXPECT_FALSE(IsLeadByte(b)) << cp << " " << b;
    }
}

}  // namespace
