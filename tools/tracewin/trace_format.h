// The one line format of the trace viewer, shared by its log file, standard
// output, Copy and Save:
//
//     HH:MM:SS.mmm <text>
//
// The time is the viewer's local time when the line arrived, then one blank,
// then the payload's text with control bytes escaped. The text is the payload
// up to its first zero byte; bytes after that zero are not shown. Escapes:
//
//     \a  BEL (0x07)    \t  tab     \n  line feed    \r  carriage return
//     \\  a backslash   \xHH  any other byte below 0x20, and 0x7F
//
// Every other byte, 0x80-0xFF included, is written as it came: the text stays
// in the sender's ANSI code page. A payload with no zero byte at all (no
// terminator, or no data) gets the marker \[unterminated] after its text;
// escaping never produces a backslash followed by '[', so the marker cannot be
// confused with text. Files and standard output end each line with CR LF.
#pragma once

#include <stddef.h>

#include <string>

struct TraceTime {
    int hour, minute, second, millisecond;
};

// What a payload carries, read strictly within its `size` bytes.
struct TracePayload {
    const unsigned char* bytes;  // may be null when size is 0
    size_t size;

    size_t TextLength() const;     // bytes before the first zero, or size
    bool Terminated() const;       // a zero byte lies within size
    bool StartsGroup() const;      // the text begins with a line feed
    bool HasBell() const;          // the text holds a BEL byte
};

// Appends the escaped text of at most `limit` text bytes (all of them when
// limit is 0) and the unterminated marker where it applies.
void AppendEscapedText(std::string& out, const TracePayload& payload, size_t limit = 0);

// The whole line, without a line end.
std::string FormatTraceLine(const TraceTime& time, const TracePayload& payload);
