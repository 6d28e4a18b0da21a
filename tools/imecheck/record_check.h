// The checks an IME makes on a RECONVERTSTRING record that an application
// filled, before it trusts any offset in it. Window-system free.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "char_kinds.h"

namespace imeside {

enum { RECORD_HEADER_SIZE = 32 };

// The platform's record header: eight 32-bit fields, the string follows.
struct RecordHeader {
    uint32_t dwSize;
    uint32_t dwVersion;
    uint32_t dwStrLen;
    uint32_t dwStrOffset;
    uint32_t dwCompStrLen;
    uint32_t dwCompStrOffset;
    uint32_t dwTargetStrLen;
    uint32_t dwTargetStrOffset;
};
static_assert(sizeof(RecordHeader) == RECORD_HEADER_SIZE, "the record header is eight 32-bit fields");

enum class Encoding {
    Ansi,   // string in code page 932 (or the code page of LeadBytes), lengths in bytes
    Utf16,  // string in UTF-16, lengths in 16-bit units
};
const char* EncodingName(Encoding encoding);

// A record as the IME reads it once it has passed the checks: the header,
// the string, and the composition and target as byte ranges of the string.
struct RecordView {
    RecordHeader header{};
    Encoding encoding = Encoding::Ansi;
    std::string ansi;      // the string of an ANSI record
    std::u16string wide;   // the string of a UTF-16 record
    ByteRange composition;
    ByteRange target;
    std::vector<Cell> cells;
    uint32_t StringBytes() const { return encoding == Encoding::Utf16 ? header.dwStrLen * 2 : header.dwStrLen; }
};

// Checks the record in `record` (the IME allocated `allocated` bytes for it
// and put `version` into dwVersion before the application filled it). An
// ANSI string is read as code page 932, or with `leads` when given.
// Returns the problems found, in words; empty means the record is sound and
// `view` describes it. The checks:
//   dwSize at least the header and within the allocation;
//   dwVersion as the IME left it;
//   the string after the header, and the string with its terminator inside dwSize;
//   the string terminated, and no terminator inside it;
//   composition and target inside the string, the target inside the composition;
//   in a UTF-16 record every offset even, and no surrogate pair split;
//   in an ANSI record no double-byte character cut at either end of the
//   string, of the composition or of the target, and no byte that begins no
//   character.
std::vector<std::string> CheckRecord(const uint8_t* record, size_t allocated, Encoding encoding, uint32_t version,
                                     RecordView* view, const LeadBytes* leads = nullptr);

// The header and the string bytes in hex, for a report.
std::string DescribeRecordBytes(const uint8_t* record, size_t allocated, Encoding encoding);

}  // namespace imeside
