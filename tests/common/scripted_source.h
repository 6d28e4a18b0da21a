// A text source for tests, natively and under Wine: hands back a scripted
// string and result, and records what it was asked.
#pragma once

#include <string>

#include "reconvert/text_source.h"

struct ScriptedSource {
    std::string text;        // written into the buffer for TSR_GETTEXT
    int result = -1;         // returned for TSR_GETTEXT
    bool terminate = true;   // false: fill the whole buffer with text, no zero
    int getTextCalls = 0;
    int confirmCalls = 0;
    unsigned int lastRange = 0;
    HWND lastWindow = nullptr;
};

extern ScriptedSource g_source;

int CALLBACK ScriptedTextSource(HWND window, int request, UINT range, char* buffer);
