#include "trace_format.h"

#include <stdio.h>
#include <string.h>

size_t TracePayload::TextLength() const {
    if (bytes == nullptr) return 0;
    const void* zero = memchr(bytes, 0, size);
    return zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - bytes) : size;
}

bool TracePayload::Terminated() const { return bytes != nullptr && memchr(bytes, 0, size) != nullptr; }

bool TracePayload::StartsGroup() const { return TextLength() > 0 && bytes[0] == '\n'; }

bool TracePayload::HasBell() const { return bytes != nullptr && memchr(bytes, 0x07, TextLength()) != nullptr; }

void AppendEscapedText(std::string& out, const TracePayload& payload, size_t limit) {
    size_t length = payload.TextLength();
    if (limit != 0 && limit < length) length = limit;
    out.reserve(out.size() + length + 16);
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = payload.bytes[i];
        switch (byte) {
        case 0x07: out += "\\a"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\x";
                out += hex[byte >> 4];
                out += hex[byte & 15];
            } else {
                out += static_cast<char>(byte);
            }
        }
    }
    if (!payload.Terminated()) out += "\\[unterminated]";
}

std::string FormatTraceLine(const TraceTime& time, const TracePayload& payload) {
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", time.hour % 100, time.minute % 100, time.second % 100,
             time.millisecond % 1000);
    std::string line(stamp);
    AppendEscapedText(line, payload);
    return line;
}
