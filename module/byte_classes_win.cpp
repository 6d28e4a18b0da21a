#include "module/byte_classes.h"
#include "module/platform.h"
#include "module/working_code_page.h"

static void FillForAnsiCodePage(void) {
    unsigned int codePage = GetACP();
    if (IsBuiltInCodePage(codePage)) {
        FillByteClassTable(codePage, nullptr);
        return;
    }
    CPINFO info;
    if (!GetCPInfo(codePage, &info)) {
        FillByteClassTable(codePage, nullptr);
        return;
    }
    CODEPAGEDESCRIPTION description;
    description.MaxCharSize = info.MaxCharSize;
    for (int i = 0; i < 12; ++i) description.LeadByte[i] = info.LeadByte[i];
    FillByteClassTable(codePage, &description);
}

void BuildByteClassTable(void) {
    FillForAnsiCodePage();
    NoteAnsiByteClasses();
}
