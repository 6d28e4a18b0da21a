#include "module/dbcs_text.h"

#include "module/byte_classes.h"

char* TruncateDbcs(char* s, int n) {
    if (n <= 0) {
        s[0] = 0;
        return s;
    }
    const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
    int i = 0;
    while (i < n) {
        if (u[i] == 0) return s;
        if (IsLeadByte(u[i])) {
            if (i == n - 1) break;  // the second byte would lie past the limit
            i += 2;
        } else {
            i += 1;
        }
    }
    s[i] = 0;
    return s;
}

// No byte of 0x80 or below is a lead byte in any code page the module serves,
// so such a byte always ends a character and the byte after it begins one.
// That lets the walk start close to n instead of at the start of the text.
int LastCharWidth(const char* s, int n) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
    int p = 0;
    if (n >= 2) {
        if (u[n - 1] <= 0x80) return 1;
        if (u[n - 2] <= 0x80) {
            p = n - 1;
        } else {
            int h = n / 2;
            p = u[h] <= 0x80 ? h + 1 : 0;
        }
    }
    while (p < n) p += IsLeadByte(u[p]) ? 2 : 1;
    return p == n + 1 ? 2 : 1;
}

int AsciiCaseCompare(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        unsigned int cx = *x, cy = *y;
        if (cx >= 'A' && cx <= 'Z') cx += 0x20;
        if (cy >= 'A' && cy <= 'Z') cy += 0x20;
        if (cx != cy) return cx < cy ? -1 : 1;
        if (cx == 0) return 0;
    }
}
