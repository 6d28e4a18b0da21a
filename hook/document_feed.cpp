#include "hook/document_feed.h"

#include "module/window_form.h"
#include "reconvert/edit_text_source.h"
#include "reconvert/record_builder.h"

LRESULT FeedWhenUnanswered(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT controlAnswer) {
    if (message != WM_IME_REQUEST || wParam != IMR_DOCUMENTFEED || controlAnswer != 0) return controlAnswer;
    return BuildReconvertString(window, REQUEST_DOCUMENT_FEED, reinterpret_cast<void*>(lParam),
                                IsUnicodeWindow(window) ? 1 : 0, EditTextSource);
}
