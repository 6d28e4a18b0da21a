#include "fuzz_support.h"

#include <string.h>

#include "support/fake_platform.h"

CodePageChoice ChooseCodePage(FuzzInput& in) {
    static const unsigned int kBuiltIn[] = {932, 936, 949, 950, 1361};
    CodePageChoice choice = {};
    unsigned int selector = in.Byte() % 8;
    if (selector < 5 || selector == 7) {
        choice.codePage = selector == 7 ? 932 : kBuiltIn[selector];
        UseCodePage(choice.codePage);
    } else if (selector == 5) {
        choice.codePage = 60000;  // not a built-in page: the description decides
        choice.madeUp = true;
        choice.description.MaxCharSize = in.Byte() % 4;
        in.Bytes(choice.description.LeadByte, sizeof choice.description.LeadByte);
        FillByteClassTable(choice.codePage, &choice.description);
        SetAnsiCodePageName("CP932");
    } else {
        choice.codePage = 1252;
        FillByteClassTable(choice.codePage, nullptr);
        SetAnsiCodePageName("CP1252");
    }
    for (int b = 0; b <= 0x80; ++b)
        if (IsLeadByte(static_cast<unsigned char>(b))) choice.lowLeadBytes = true;
    return choice;
}
