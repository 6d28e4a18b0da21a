// The identifiers of tracewin's strings (tracewin_strings.inc).
#pragma once

#include "tool_strings.h"

enum TracewinString : unsigned {
#define TOOL_STRING(id, number, en, ja) id = number,
#include "tracewin_strings.inc"
#undef TOOL_STRING
};
