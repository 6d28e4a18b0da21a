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
// in the sender's ANSI code page. In a double-byte code page a lead byte is
// written as it came only with a valid trail byte after it (which may be a
// backslash, as in 0x95 0x5C); a lead byte without one is written as \xHH, so
// that it cannot pair with the backslash of an escape or with the line end.
// A payload with no zero byte at all (no terminator, or no data) gets the
// marker \[unterminated] after its text, and a text longer than the line's
// limit is cut on a character boundary and gets \[cut: N bytes in all];
// outside a double-byte character escaping never produces a backslash followed
// by '[', so a marker cannot be confused with text. Files and standard output
// end each line with CR LF.
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

// The double-byte structure of the sender's ANSI code page: the bytes that
// lead a pair and those that may follow a lead byte. A null code page, or one
// with no lead bytes, is single-byte.
struct TraceCodePage {
    bool lead[256];
    bool trail[256];
};

// Bytes of the payload's text, at most `max`, that end on a character
// boundary (a lead byte without a valid trail is one character).
size_t TraceCut(const TracePayload& payload, const TraceCodePage* codePage, size_t max);

// Appends the escaped text of at most `limit` text bytes and the
// unterminated marker where it applies.
const size_t kWholeText = static_cast<size_t>(-1);
void AppendEscapedText(std::string& out, const TracePayload& payload, const TraceCodePage* codePage,
                       size_t limit = kWholeText);

// The whole line, without a line end; a text longer than `maxBytes` (when not
// 0) is cut.
std::string FormatTraceLine(const TraceTime& time, const TracePayload& payload, const TraceCodePage* codePage,
                            size_t maxBytes = 0);
