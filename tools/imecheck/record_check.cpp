#include "record_check.h"

#include <stdio.h>
#include <string.h>

namespace imeside {

const char* EncodingName(Encoding encoding) { return encoding == Encoding::Utf16 ? "UTF-16" : "ANSI"; }

namespace {

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
    char text[200];
    snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Checks that a range of the string lies on character boundaries.
void CheckEnds(const std::vector<Cell>& cells, ByteRange range, const char* what, std::vector<std::string>* problems) {
    if (!IsCellBoundary(cells, range.offset))
        problems->push_back(std::string(what) + Format(" starts inside a character (byte %llu)", range.offset));
    if (!IsCellBoundary(cells, range.offset + range.length))
        problems->push_back(std::string(what) +
                            Format(" ends inside a character (byte %llu)", range.offset + range.length));
}

}  // namespace

std::vector<std::string> CheckRecord(const uint8_t* record, size_t allocated, Encoding encoding, uint32_t version,
                                     RecordView* view, const LeadBytes* leads) {
    auto isLead = [leads](uint8_t byte) { return leads ? leads->lead[byte] : IsSjisLead(byte); };
    std::vector<std::string> problems;
    *view = RecordView();
    view->encoding = encoding;
    if (allocated < RECORD_HEADER_SIZE) {
        problems.push_back(Format("allocation of %llu bytes holds no header", allocated));
        return problems;
    }
    RecordHeader h;
    memcpy(&h, record, sizeof h);
    view->header = h;
    const uint64_t unit = encoding == Encoding::Utf16 ? 2 : 1;

    if (h.dwSize < RECORD_HEADER_SIZE) problems.push_back(Format("dwSize %llu is smaller than the header", h.dwSize));
    if (h.dwSize > allocated)
        problems.push_back(Format("dwSize %llu exceeds the %llu bytes allocated", h.dwSize, allocated));
    if (h.dwVersion != version) problems.push_back(Format("dwVersion changed from %llu to %llu", version, h.dwVersion));
    if (encoding == Encoding::Utf16) {
        if (h.dwStrOffset % 2) problems.push_back(Format("dwStrOffset %llu is odd", h.dwStrOffset));
        if (h.dwCompStrOffset % 2) problems.push_back(Format("dwCompStrOffset %llu is odd", h.dwCompStrOffset));
        if (h.dwTargetStrOffset % 2) problems.push_back(Format("dwTargetStrOffset %llu is odd", h.dwTargetStrOffset));
    }
    const uint64_t size = h.dwSize < allocated ? h.dwSize : allocated;
    const uint64_t strBytes = h.dwStrLen * unit;
    if (h.dwStrOffset < RECORD_HEADER_SIZE)
        problems.push_back(Format("dwStrOffset %llu lies inside the header", h.dwStrOffset));
    if (h.dwStrOffset + strBytes + unit > size) {
        problems.push_back(Format("string at %llu, %llu bytes and its terminator, does not fit in %llu bytes",
                                  h.dwStrOffset, strBytes, size));
        return problems;  // nothing of the string can be read safely
    }
    const uint8_t* str = record + h.dwStrOffset;
    if (encoding == Encoding::Ansi) {
        view->ansi.assign(reinterpret_cast<const char*>(str), strBytes);
        if (str[strBytes] != 0) problems.push_back("string not terminated by a zero byte");
        if (view->ansi.find('\0') != std::string::npos)
            problems.push_back(Format("zero byte inside the string (dwStrLen %llu too long)", h.dwStrLen));
        view->cells = leads ? SplitAnsi(view->ansi, *leads) : SplitSjis(view->ansi);
    } else {
        for (uint64_t i = 0; i < h.dwStrLen; ++i)
            view->wide.push_back(static_cast<char16_t>(str[2 * i] | str[2 * i + 1] << 8));
        if (str[strBytes] != 0 || str[strBytes + 1] != 0) problems.push_back("string not terminated by a zero unit");
        if (view->wide.find(u'\0') != std::u16string::npos)
            problems.push_back(Format("zero unit inside the string (dwStrLen %llu too long)", h.dwStrLen));
        view->cells = SplitUtf16(view->wide);
    }

    view->composition = ByteRange{h.dwCompStrOffset, static_cast<uint32_t>(h.dwCompStrLen * unit)};
    view->target = ByteRange{h.dwTargetStrOffset, static_cast<uint32_t>(h.dwTargetStrLen * unit)};
    const uint64_t compEnd = uint64_t(h.dwCompStrOffset) + h.dwCompStrLen * unit;
    const uint64_t targetEnd = uint64_t(h.dwTargetStrOffset) + h.dwTargetStrLen * unit;
    bool rangesInside = true;
    if (compEnd > strBytes) {
        problems.push_back(Format("composition (offset %llu, length %llu) reaches past the string's %llu bytes",
                                  h.dwCompStrOffset, h.dwCompStrLen, strBytes));
        rangesInside = false;
    }
    if (targetEnd > strBytes) {
        problems.push_back(Format("target (offset %llu, length %llu) reaches past the string's %llu bytes",
                                  h.dwTargetStrOffset, h.dwTargetStrLen, strBytes));
        rangesInside = false;
    }
    if (h.dwTargetStrOffset < h.dwCompStrOffset || targetEnd > compEnd)
        problems.push_back(Format("target (bytes %llu to %llu) lies outside the composition", h.dwTargetStrOffset,
                                  targetEnd) +
                           Format(" (bytes %llu to %llu)", h.dwCompStrOffset, compEnd));

    // Characters cut at the ends of the string and of the two ranges.
    if (!view->cells.empty()) {
        const Cell& first = view->cells.front();
        const Cell& last = view->cells.back();
        if (first.kind == CharKind::Broken && encoding == Encoding::Ansi && !isLead(uint8_t(view->ansi[0])))
            problems.push_back(Format("string begins with byte 0x%02llx, which begins no character",
                                      uint8_t(view->ansi[0])));
        if (last.kind == CharKind::Broken) {
            if (encoding == Encoding::Ansi && isLead(uint8_t(view->ansi[last.offset])))
                problems.push_back("string ends with the lead byte of a cut double-byte character");
            else if (encoding == Encoding::Utf16)
                problems.push_back("string ends with half of a surrogate pair");
        }
        for (const Cell& cell : view->cells)
            if (cell.kind == CharKind::Broken && &cell != &last && &cell != &first) {
                problems.push_back(Format("byte %llu begins no valid character", cell.offset));
                break;
            }
    }
    if (rangesInside) {
        CheckEnds(view->cells, view->composition, "composition", &problems);
        CheckEnds(view->cells, view->target, "target", &problems);
    }
    return problems;
}

std::string DescribeRecordBytes(const uint8_t* record, size_t allocated, Encoding encoding) {
    if (allocated < RECORD_HEADER_SIZE) return "(no header)";
    RecordHeader h;
    memcpy(&h, record, sizeof h);
    char text[400];
    snprintf(text, sizeof text,
             "dwSize=%u dwVersion=%u dwStrLen=%u dwStrOffset=%u dwCompStrLen=%u dwCompStrOffset=%u "
             "dwTargetStrLen=%u dwTargetStrOffset=%u string+terminator:",
             h.dwSize, h.dwVersion, h.dwStrLen, h.dwStrOffset, h.dwCompStrLen, h.dwCompStrOffset, h.dwTargetStrLen,
             h.dwTargetStrOffset);
    std::string out = text;
    const uint64_t unit = encoding == Encoding::Utf16 ? 2 : 1;
    uint64_t from = h.dwStrOffset, to = from + uint64_t(h.dwStrLen) * unit + unit;
    if (from < RECORD_HEADER_SIZE || from >= allocated) return out + " (outside the record)";
    if (to > allocated) to = allocated;
    for (uint64_t i = from; i < to; ++i) {
        snprintf(text, sizeof text, " %02x", record[i]);
        out += text;
    }
    return out;
}

}  // namespace imeside
