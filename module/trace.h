// The trace channel: one formatted line per WM_COPYDATA to the trace viewer
// window ("VeskDebugWClass") that the process found when it mapped the module.
#pragma once

#include <stdint.h>

// Formats with the platform's wvsprintfA directives (%d, %x, %lx, %s) and
// sends the line, without a line end, to the viewer. Silent without a viewer.
void TraceMessage(const char* format, ...);

// A handle or address as the %x directive shows it: its low 32 bits.
#define TRACE_HEX(value) static_cast<unsigned int>(reinterpret_cast<uintptr_t>(value))

// Looks the viewer window up once; always 1.
int FindTraceWindow(void);
