// Faults that the sanitizer build must report. Each mode commits one; the
// tests that run them pass only when the sanitizer's report appears, so a
// build that silently lost its instrumentation (or a runtime that cannot
// detect leaks) fails the test stage instead of passing it.
#include <stdlib.h>
#include <string.h>

#include "module/dbcs_text.h"

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (strcmp(mode, "leak") == 0) {
        char* lost = static_cast<char*>(malloc(77));
        memset(lost, 'x', 77);
        lost = nullptr;
        return 0;
    }
    if (strcmp(mode, "overflow") == 0) {
        // TruncateDbcs writes its terminator at index n, so the buffer needs
        // n + 1 bytes; give it n. The report must come from the library code.
        char* text = static_cast<char*>(malloc(8));
        memcpy(text, "abcdefgh", 8);
        TruncateDbcs(text, 8);
        free(text);
        return 0;
    }
    if (strcmp(mode, "undefined") == 0) {
        volatile int big = 0x7FFFFFFF;
        int sum = big + argc;
        return sum == 0;
    }
    return 2;
}
