// The IME side of reconversion and document feed, as the IMEs that users run
// drive an application window: request messages, records allocated at the
// size the window answers, the checks an IME makes on what comes back, the
// confirmation, and the result string delivered to the window.
//
// Never loads RODAVOZI.DLL: it only sends messages to a window, as an IME
// living in the window's process does.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "char_kinds.h"
#include "ime_request.h"
#include "record_check.h"

namespace imeside {

// Code page 932 and UTF-16 / UTF-8, whatever the process's ANSI code page.
std::string Utf16ToSjis(const std::u16string& text);
std::u16string SjisToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
std::string SjisToUtf8(const std::string& text);

// How an IME asks. The WM_IME_REQUEST patterns go through the input method
// manager's own entry (ImmRequestMessageA or W of imm32), in the form that
// matches the window, so the record is ANSI for an ANSI window and UTF-16 for
// a Unicode one, as Windows' input method manager delivers it.
enum class Pattern {
    Imm,      // WM_IME_REQUEST; the composition taken as offered
    MsIme,    // "MSIMEReconvert" (UTF-16) and "MSIMEDocumentFeed" (wParam 1)
    Atok,     // "Atok Message for ReconvertString" (UTF-16) and "... DocumentFeed" (wParam 0)
    Widen,    // WM_IME_REQUEST; an empty composition widened to the word at the caret
    Widen16,  // "MSIMEReconvert", UTF-16 record; widened the same way
    Current,  // an IME of today: WM_IME_REQUEST / IMR_DOCUMENTFEED, then as Widen
};
const char* PatternName(Pattern pattern);
// The record's form: the registered messages always UTF-16, WM_IME_REQUEST
// that of `window`.
Encoding PatternEncoding(Pattern pattern, HWND window);
bool PatternWidens(Pattern pattern);
bool PatternFeeds(Pattern pattern);  // a document feed comes before the reconversion

// Which composition the IME confirms, in characters of the string offered.
enum class Compose {
    AsOffered,          // the pattern's own way (as offered, or widened)
    BeforeCaret,        // the two characters before the caret
    AtCaret,            // the two characters from the caret on
    AfterCaret,         // two characters starting one after the caret
    SelectionStart,     // two characters at the start of a selection
    SelectionMiddle,    // two characters inside it
    SelectionEnd,       // its last two characters
    LongerThanOffered,  // the whole string and one character more
    AbsurdLength,       // a length no string has (0x7FFFFFFF)
};
const char* ComposeName(Compose compose);
// The composition lies outside the string offered: the IME delivers nothing.
bool ComposeOutsideTheString(Compose compose);

struct Reconversion {
    Pattern pattern = Pattern::Imm;
    bool served = false;        // the size query was answered
    bool filled = false;        // the fill was answered nonzero
    RecordExchange fill;        // the record as the window filled it
    bool widened = false;       // the IME chose the composition itself
    RecordExchange confirm;     // the record as sent with the confirmation (after it)
    bool confirmSent = false;
    LRESULT confirmAnswer = 0;
    ByteRange used;             // composition converted, bytes of the record string
    DWORD selectionAfterConfirm = 0;  // EM_GETSEL once the confirmation returned
    bool delivered = false;
    std::u16string composition;  // the text reconverted
    std::u16string result;       // what the IME delivered in its place
    std::string stopped;         // why the IME stopped early, when it did
    bool throughImm = false;    // WM_IME_REQUEST went through ImmRequestMessageA/W
    bool RecordSound() const { return fill.problems.empty() && confirm.problems.empty(); }
};

struct DocumentFeed {
    bool served = false;
    RecordExchange record;
};

// The IME attached to one window of the calling thread.
class ImeClient {
public:
    explicit ImeClient(HWND window);

    // A whole reconversion: size query, fill, checks, (widening), confirmation,
    // and the result delivered in place of the selection.
    Reconversion Reconvert(Pattern pattern, Compose compose = Compose::AsOffered);
    // A confirmation with a record of the IME's own (two characters, the
    // composition the whole string) and no fill before it; nothing delivered.
    Reconversion ConfirmWithoutFill(Pattern pattern);
    // Size query and fill of a document feed through the pattern's way
    // (MsIme, Atok, or IMR_DOCUMENTFEED for Current); nothing is confirmed
    // or delivered.
    DocumentFeed Feed(Pattern pattern);
    // The result string as an IME delivers it: one WM_IME_CHAR per character,
    // which the editor puts in place of its selection; then the messages
    // that this posted (DefWindowProc turns WM_IME_CHAR into WM_CHAR) are
    // dispatched.
    void Deliver(const std::u16string& text);
    // Whether the window has an input context at all (a real IME is not
    // active without one, e.g. in a password field of the system's edit control).
    bool HasInputContext() const;

private:
    bool Request(UINT message, WPARAM fillCode, Encoding encoding, RecordExchange* exchange);
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
    UINT ReconvertMessage(Pattern pattern) const;
    HWND window_;
    ImeMessages messages_;
    bool throughImm_ = false;
};

// The editor's whole text in code page 932 (a Unicode window's converted
// from UTF-16).
std::string EditorText(HWND editor);

// Handles every message queued for this thread (sent ones run meanwhile);
// false when one of them was WM_QUIT. The one message loop of the IME side,
// the demo and the test programs.
bool PumpMessages();

}  // namespace imeside
