// The identifiers of rodacheck's strings (rodacheck_strings.inc).
#pragma once

#include "tool_strings.h"

enum RodacheckString : unsigned {
#define TOOL_STRING(id, number, en, ja) id = number,
#include "rodacheck_strings.inc"
#undef TOOL_STRING
};
