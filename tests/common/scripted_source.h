// A text source for tests, natively, under Wine and in the fuzzers: hands
// back a scripted string and result, and records what it was asked.
#pragma once

#include <string>

#include "reconvert/text_source.h"

struct ScriptedSource {
    std::string text;        // any bytes, written into the buffer for TSR_GETTEXT (cut to its size)
    int result = -1;         // returned for TSR_GETTEXT
    bool terminate = true;   // false: fill the whole buffer with the text repeated, no zero
    int getTextCalls = 0;
    int confirmCalls = 0;
    int strayCalls = 0;      // requests off the source's contract
    unsigned int lastRange = 0;
    HWND lastWindow = nullptr;
    std::string handed;      // the buffer as the source left it
};

extern ScriptedSource g_source;

int CALLBACK ScriptedTextSource(HWND window, int request, UINT range, char* buffer);
