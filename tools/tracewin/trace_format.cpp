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

namespace {

const char kHex[] = "0123456789ABCDEF";

// 2 for a lead byte with a valid trail byte within `length`, else 1.
size_t WidthAt(const unsigned char* bytes, size_t i, size_t length, const TraceCodePage* codePage) {
    return codePage != nullptr && codePage->lead[bytes[i]] && i + 1 < length && codePage->trail[bytes[i + 1]] ? 2 : 1;
}

}  // namespace

size_t TraceCut(const TracePayload& payload, const TraceCodePage* codePage, size_t max) {
    size_t length = payload.TextLength();
    if (length <= max) return length;
    size_t cut = 0;
    while (cut < max) {
        size_t width = WidthAt(payload.bytes, cut, length, codePage);
        if (cut + width > max) break;
        cut += width;
    }
    return cut;
}

void AppendEscapedText(std::string& out, const TracePayload& payload, const TraceCodePage* codePage, size_t limit) {
    size_t length = payload.TextLength();
    if (limit < length) length = limit;
    out.reserve(out.size() + length + 16);
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = payload.bytes[i];
        if (WidthAt(payload.bytes, i, length, codePage) == 2) {
            out += static_cast<char>(byte);
            out += static_cast<char>(payload.bytes[++i]);
            continue;
        }
        switch (byte) {
        case 0x07: out += "\\a"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (byte < 0x20 || byte == 0x7F || (codePage != nullptr && codePage->lead[byte])) {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            } else {
                out += static_cast<char>(byte);
            }
        }
    }
    if (!payload.Terminated()) out += "\\[unterminated]";
}

std::string FormatTraceLine(const TraceTime& time, const TracePayload& payload, const TraceCodePage* codePage,
                            size_t maxBytes) {
    char stamp[48];
    snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", time.hour % 100, time.minute % 100, time.second % 100,
             time.millisecond % 1000);
    std::string line(stamp);
    size_t length = payload.TextLength();
    size_t cut = maxBytes != 0 ? TraceCut(payload, codePage, maxBytes) : length;
    AppendEscapedText(line, payload, codePage, cut);
    if (cut < length) {
        snprintf(stamp, sizeof stamp, "\\[cut: %lu bytes in all]", static_cast<unsigned long>(length));
        line += stamp;
    }
    return line;
}
