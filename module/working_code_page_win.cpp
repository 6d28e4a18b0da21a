#include "module/platform.h"
#include "module/working_code_page.h"

unsigned int RequestCodePage(void) {
    if (AnsiHasDoubleByte()) return CODE_PAGE_ANSI;
    unsigned short language = static_cast<unsigned short>(reinterpret_cast<uintptr_t>(GetKeyboardLayout(0)) & 0xFFFF);
    unsigned int codePage = ChooseWorkingCodePage(false, language);
    // A code page the system cannot convert is of no use.
    return codePage != CODE_PAGE_ANSI && IsValidCodePage(codePage) ? codePage : CODE_PAGE_ANSI;
}
