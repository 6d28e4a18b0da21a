// Cuts and tests on double-byte text in the process's ANSI code page.
#pragma once

// Cuts `s` in place to at most n bytes without splitting a two-byte character
// and returns it. The buffer must hold n + 1 bytes; only bytes 0..n-1 are read.
char* TruncateDbcs(char* s, int n);

// 2 when the byte at n - 1 begins a two-byte character, reading `s` from its
// start (the first n bytes end inside a character); 1 otherwise. Reads only
// bytes 0..n-1; a zero byte is an ordinary one-byte character here.
int LastCharWidth(const char* s, int n);

// Compares two zero-terminated strings with only the ASCII capitals folded to
// lower case; 0 when equal, otherwise the sign of the first difference.
int AsciiCaseCompare(const char* a, const char* b);
