#include "hook/document_feed.h"

#include "module/fault.h"
#include "module/window_form.h"
#include "module/working_code_page.h"
#include "reconvert/dispatch.h"
#include "reconvert/edit_text_source.h"
#include "reconvert/offer_record.h"
#include "reconvert/record_builder.h"

LRESULT FeedWhenUnanswered(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT controlAnswer) {
    if (message != WM_IME_REQUEST || wParam != IMR_DOCUMENTFEED) return controlAnswer;
    // The size query and the fill are decided together: the IME allocates
    // what the size query was answered, by the control or by the module.
    if (lParam == 0) NoteFeedSize(window, controlAnswer == 0);
    if (controlAnswer != 0 && !FAULT_BUILT_IN(OWN_FEED_OVERRIDDEN)) return controlAnswer;
    TextSourceProc source = EditTextSource;
    int unicode = IsUnicodeWindow(window) ? 1 : 0;
    bool entered = EnterRequestCodePage(RequestCodePage(), unicode, &source);
    LRESULT answer =
        BuildUnansweredFeed(window, reinterpret_cast<void*>(lParam), unicode, source, FeedSizedHere(window));
    if (entered) LeaveCodePage();
    return answer;
}
