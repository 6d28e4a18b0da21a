// The identifiers of reconvhost's strings (reconvhost_strings.inc).
#pragma once

#include "tool_strings.h"

enum ReconvhostString : unsigned {
#define TOOL_STRING(id, number, en, ja) id = number,
#include "reconvhost_strings.inc"
#undef TOOL_STRING
};
