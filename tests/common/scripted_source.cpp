#include "common/scripted_source.h"

#include <string.h>

ScriptedSource g_source;

int CALLBACK ScriptedTextSource(HWND window, int request, UINT range, char* buffer) {
    g_source.lastWindow = window;
    if (request == TSR_CONFIRM) {
        ++g_source.confirmCalls;
        g_source.lastRange = range;
        return 0;
    }
    ++g_source.getTextCalls;
    if (!g_source.terminate) {
        memset(buffer, 'x', SOURCE_BUFFER_SIZE);
    } else {
        memcpy(buffer, g_source.text.c_str(), g_source.text.size() + 1);
    }
    return g_source.result;
}
