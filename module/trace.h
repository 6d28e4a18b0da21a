// The trace channel: one formatted line per WM_COPYDATA to the trace viewer
// window ("VeskDebugWClass") that the process found when it mapped the module.
#pragma once

// Formats with the platform's wvsprintfA directives (%d, %x, %lx, %s) and
// sends the line, without a line end, to the viewer. Silent without a viewer.
void TraceMessage(const char* format, ...);

// Looks the viewer window up once; always 1.
int FindTraceWindow(void);
