#include "module/working_code_page.h"

#include <string.h>

namespace {

// The code page entered (bits 31..16), a switch in progress (bit 15) and the
// requests working in it (bits 14..0), in one word so that one exchange
// decides.
enum : unsigned int { SWITCHING = 0x8000u, USERS = 0x7FFFu };
unsigned int WorkState;

// The ANSI code page's classes while another code page's are in the table.
unsigned char AnsiClasses[256];
bool AnsiDoubleByte;

unsigned int CodePageIn(unsigned int state) { return state >> 16; }

bool Exchange(unsigned int expected, unsigned int desired) {
    return __atomic_compare_exchange_n(&WorkState, &expected, desired, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

// Called with the switch claimed: no request reads the table meanwhile.
void FillFor(unsigned int from, unsigned int to) {
    if (from == CODE_PAGE_ANSI) memcpy(AnsiClasses, ByteClassTable, sizeof AnsiClasses);
    if (to == CODE_PAGE_ANSI)
        memcpy(ByteClassTable, AnsiClasses, sizeof AnsiClasses);
    else
        FillByteClassTable(to, nullptr);
}

}  // namespace

unsigned int CodePageOfLanguage(unsigned short language) {
    switch (language & 0x3FF) {  // the primary language
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: {
        unsigned int sub = language >> 10;  // 2 PRC, 4 Singapore; 1 Taiwan, 3 Hong Kong, 5 Macao
        return sub == 2 || sub == 4 ? 936 : 950;
    }
    default: return 0;
    }
}

unsigned int ChooseWorkingCodePage(bool ansiDoubleByte, unsigned short inputLanguage) {
    return ansiDoubleByte ? CODE_PAGE_ANSI : CodePageOfLanguage(inputLanguage);
}

bool TableHasLeadBytes(void) {
    for (int b = 0; b < 256; ++b)
        if (IsLeadByte(static_cast<unsigned char>(b))) return true;
    return false;
}

void NoteAnsiByteClasses(void) { AnsiDoubleByte = TableHasLeadBytes(); }

bool AnsiHasDoubleByte(void) { return AnsiDoubleByte; }

bool EnterCodePage(unsigned int codePage) {
    for (;;) {
        unsigned int state = __atomic_load_n(&WorkState, __ATOMIC_ACQUIRE);
        unsigned int current = CodePageIn(state);
        if (current == codePage && (state & SWITCHING) == 0 && (state & USERS) < USERS) {
            if (Exchange(state, state + 1)) return true;
            continue;
        }
        if ((state & (SWITCHING | USERS)) != 0) return false;  // others work in another code page
        if (!Exchange(state, (codePage << 16) | SWITCHING)) continue;
        FillFor(current, codePage);
        __atomic_store_n(&WorkState, (codePage << 16) | 1u, __ATOMIC_RELEASE);
        return true;
    }
}

void LeaveCodePage(void) {
    for (;;) {
        unsigned int state = __atomic_load_n(&WorkState, __ATOMIC_ACQUIRE);
        unsigned int current = CodePageIn(state);
        if ((state & USERS) == 1 && current != CODE_PAGE_ANSI) {
            if (!Exchange(state, (current << 16) | SWITCHING)) continue;
            FillFor(current, CODE_PAGE_ANSI);
            __atomic_store_n(&WorkState, 0u, __ATOMIC_RELEASE);
            return;
        }
        if ((state & USERS) == 0 || Exchange(state, state - 1)) return;
    }
}

unsigned int WorkCodePage(void) { return CodePageIn(__atomic_load_n(&WorkState, __ATOMIC_ACQUIRE)); }
