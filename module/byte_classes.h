// Byte classes of the process's ANSI code page: which byte values begin a
// two-byte character (lead) and which may stand second in one (trail).
#pragma once

enum { BYTE_CLASS_LEAD = 1, BYTE_CLASS_TRAIL = 2 };

extern unsigned char ByteClassTable[256];

// What the platform says about a code page outside the built-in list:
// the largest character size and up to six (first, last) lead-byte pairs,
// ended early by a pair with a zero byte.
typedef struct CODEPAGEDESCRIPTION {
    unsigned int MaxCharSize;
    unsigned char LeadByte[12];
} CODEPAGEDESCRIPTION;

// True for the code pages whose ranges are built in (932, 936, 949, 950, 1361).
bool IsBuiltInCodePage(unsigned int codePage);

// Fills ByteClassTable for codePage. For a code page outside the built-in list
// `description` is what the platform knows of it, or null when it knows nothing.
void FillByteClassTable(unsigned int codePage, const CODEPAGEDESCRIPTION* description);

// Fills the table for the process's ANSI code page (asks the platform), and
// notes whether it has double-byte characters (working_code_page.h).
void BuildByteClassTable(void);

inline bool IsLeadByte(unsigned char b) { return (ByteClassTable[b] & BYTE_CLASS_LEAD) != 0; }
inline bool IsTrailByte(unsigned char b) { return (ByteClassTable[b] & BYTE_CLASS_TRAIL) != 0; }
