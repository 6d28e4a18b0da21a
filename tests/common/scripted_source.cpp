#include "common/scripted_source.h"

#include <string.h>

ScriptedSource g_source;

int CALLBACK ScriptedTextSource(HWND window, int request, UINT range, char* buffer) {
    g_source.lastWindow = window;
    if (request == TSR_CONFIRM && buffer == nullptr) {
        ++g_source.confirmCalls;
        g_source.lastRange = range;
        return 12345;  // ignored by the caller
    }
    if (request != TSR_GETTEXT || range != 0 || buffer == nullptr) {
        ++g_source.strayCalls;
        return 0;
    }
    ++g_source.getTextCalls;
    const std::string& text = g_source.text;
    const size_t size = SOURCE_BUFFER_SIZE, n = text.size() < size ? text.size() : size;
    memcpy(buffer, text.data(), n);
    if (g_source.terminate) {
        buffer[n < size ? n : size - 1] = 0;
    } else {
        // Lead bytes only when there is no text: a buffer of nothing but
        // unfinished characters.
        for (size_t i = n; i < size; ++i) buffer[i] = n ? text[i % n] : '\x82';
    }
    g_source.handed.assign(buffer, size);
    return g_source.result;
}
