// The exported entry that a window procedure calls with each message.
#include "reconvert/record_builder.h"
#include "reconvert/request_messages.h"

extern "C" int WINAPI IsReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT* answer, TextSourceProc source) {
    int kind, unicode;
    if (!ClassifyRequest(message, wParam, &kind, &unicode)) return 0;
    *answer = BuildReconvertString(window, kind, reinterpret_cast<void*>(lParam), unicode, source);
    return 1;
}
