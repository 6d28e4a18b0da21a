#include "module/byte_classes.h"

#include <string.h>

unsigned char ByteClassTable[256];

namespace {

struct ByteRange {
    unsigned char first, last;
};

struct BuiltInCodePage {
    unsigned int codePage;
    ByteRange lead[3];   // unused entries are {0, 0}
    ByteRange trail[2];
};

const BuiltInCodePage kBuiltIn[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}, {0, 0}}, {{0x40, 0x7E}, {0x80, 0xFC}}},
    {936, {{0x81, 0xFE}, {0, 0}, {0, 0}}, {{0x40, 0xFE}, {0, 0}}},
    {949, {{0x81, 0xFE}, {0, 0}, {0, 0}}, {{0x41, 0xFE}, {0, 0}}},
    {950, {{0x81, 0xFE}, {0, 0}, {0, 0}}, {{0x40, 0x7E}, {0xA1, 0xFE}}},
    {1361, {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}, {{0x31, 0x7E}, {0x81, 0xFE}}},
};

const BuiltInCodePage* FindBuiltIn(unsigned int codePage) {
    for (const BuiltInCodePage& page : kBuiltIn)
        if (page.codePage == codePage) return &page;
    return nullptr;
}

void Mark(unsigned char first, unsigned char last, unsigned char flag) {
    if (first == 0) return;
    for (int b = first; b <= last; ++b) ByteClassTable[b] = static_cast<unsigned char>(ByteClassTable[b] | flag);
}

}  // namespace

bool IsBuiltInCodePage(unsigned int codePage) { return FindBuiltIn(codePage) != nullptr; }

void FillByteClassTable(unsigned int codePage, const CODEPAGEDESCRIPTION* description) {
    memset(ByteClassTable, 0, sizeof ByteClassTable);
    if (const BuiltInCodePage* page = FindBuiltIn(codePage)) {
        for (const ByteRange& r : page->lead) Mark(r.first, r.last, BYTE_CLASS_LEAD);
        for (const ByteRange& r : page->trail) Mark(r.first, r.last, BYTE_CLASS_TRAIL);
        return;
    }
    if (description == nullptr || description->MaxCharSize < 2) return;
    for (int i = 0; i + 1 < 12; i += 2) {
        unsigned char first = description->LeadByte[i], last = description->LeadByte[i + 1];
        if (first == 0 || last == 0) break;
        Mark(first, last, BYTE_CLASS_LEAD);  // a reversed pair marks nothing
    }
    Mark(0x01, 0xFE, BYTE_CLASS_TRAIL);
}
