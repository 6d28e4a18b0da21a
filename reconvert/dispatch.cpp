// The exported entry that a window procedure calls with each message.
#include "reconvert/dispatch.h"

#include "module/trace.h"
#include "module/window_form.h"
#include "module/working_code_page.h"
#include "reconvert/record_builder.h"
#include "reconvert/request_messages.h"
#include "reconvert/window_record.h"

namespace {

// A reconversion still forgets the window's last offer through it.
int CALLBACK NothingToOffer(HWND, int request, UINT, char* buffer) {
    if (request == TSR_GETTEXT) buffer[0] = 0;
    return 0;
}

}  // namespace

bool EnterRequestCodePage(unsigned int codePage, int unicode, TextSourceProc* source) {
    if (!unicode) codePage = CODE_PAGE_ANSI;
    if (EnterCodePage(codePage)) return true;
    TraceMessage("\a code page %d busy ", static_cast<int>(codePage));
    *source = NothingToOffer;
    return false;
}

int AnswerReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer,
                       TextSourceProc source, unsigned int codePage) {
    int kind, unicode;
    // A window destroyed takes its record along (a subclassed one's goes
    // where its subclass sees the message), so that a later window given the
    // same handle inherits nothing.
    if (message == WM_NCDESTROY) DropWindowRecord(window, true);
    if (!ClassifyRequest(message, wParam, &kind, &unicode)) return 0;
    // The input method manager hands WM_IME_REQUEST over in the form of the
    // window's procedure: a Unicode window gets, and fills, a UTF-16 record.
    if (message == WM_IME_REQUEST) unicode = IsUnicodeWindow(window) ? 1 : 0;
    // A confirmation works on the positions its fill noted, in no code page.
    bool entered = kind != REQUEST_CONFIRM && EnterRequestCodePage(codePage, unicode, &source);
    *answer = BuildReconvertString(window, kind, reinterpret_cast<void*>(lParam), unicode, source);
    if (entered) LeaveCodePage();
    return 1;
}

// A host's text source hands back text in the process's ANSI code page.
extern "C" int WINAPI IsReconvertMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT* answer, TextSourceProc source) {
    return AnswerReconvertMsg(window, message, wParam, lParam, answer, source, CODE_PAGE_ANSI);
}
