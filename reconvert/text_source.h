// The text-source callback through which the record builder reaches a
// document, and the IME's record as the builder fills it.
#pragma once

#include "module/platform.h"
#include "rodavozi.h"

enum { RECORD_SIZE = 160, RECORD_STRING_OFFSET = 32, SOURCE_BUFFER_SIZE = 256 };

// The header of the IME's RECONVERTSTRING record; the string follows at
// offset 32.
typedef struct RECONVERTHEADER {
    uint32_t dwSize;
    uint32_t dwVersion;
    uint32_t dwStrLen;
    uint32_t dwStrOffset;
    uint32_t dwCompStrLen;
    uint32_t dwCompStrOffset;
    uint32_t dwTargetStrLen;
    uint32_t dwTargetStrOffset;
} RECONVERTHEADER;
