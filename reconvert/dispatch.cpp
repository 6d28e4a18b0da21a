// The exported entry that a window procedure calls with each message.
#include "module/window_form.h"
#include "reconvert/record_builder.h"
#include "reconvert/request_messages.h"
#include "reconvert/window_record.h"

extern "C" int WINAPI IsReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT* answer, TextSourceProc source) {
    int kind, unicode;
    // A window destroyed takes its record along (a subclassed one's goes
    // where its subclass sees the message), so that a later window given the
    // same handle inherits nothing.
    if (message == WM_NCDESTROY) DropWindowRecord(window, true);
    if (!ClassifyRequest(message, wParam, &kind, &unicode)) return 0;
    // The input method manager hands WM_IME_REQUEST over in the form of the
    // window's procedure: a Unicode window gets, and fills, a UTF-16 record.
    if (message == WM_IME_REQUEST) unicode = IsUnicodeWindow(window) ? 1 : 0;
    *answer = BuildReconvertString(window, kind, reinterpret_cast<void*>(lParam), unicode, source);
    return 1;
}
