// One scenario row: an editor prepared with a text and a caret or selection,
// one IME request pattern run against it, and the verdict on the record and
// on the editor's text afterwards. Shared by the scenario peer and its
// partner process; neither loads RODAVOZI.DLL (the host's hook brings it in).
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "ime_client.h"
#include "support/ime_text.h"
#include "support/processes.h"
#include "text_check.h"

enum class EditorKind {
    Kvex,          // the host's ANSI editor: positions in bytes
    KvexPassword,
    SystemEdit,    // the platform's EDIT, an ANSI window
    UnicodeEdit,   // the platform's EDIT created as a Unicode window: positions in UTF-16 units
    UnicodeEditTop,     // the same as a top-level window
    UnicodeEditDialog,  // the same in a dialog
    FeedingEdit,   // a Unicode EDIT whose own procedure answers IMR_DOCUMENTFEED
    UnicodePassword,  // a Unicode EDIT with ES_PASSWORD
    KvexStyle20,   // kvexedit with style bit 0x20 (ES_PASSWORD of the system's edit class) but no password character
    UnicodeEditWrap,  // a Unicode EDIT that wraps its lines
    KvexUnderUnicode,  // kvexedit (bytes) under a procedure installed with SetWindowLongPtrW
};
const char* EditorName(EditorKind kind);

// What RODAVOZI.DLL is built to do in a scenario, where it differs from
// "the IME gets the word or the selection, and exactly that is replaced".
enum class Expect {
    Serves,           // the record is offered and the text replaced as meant
    Refuses,          // nothing is offered (the fill answers 0); the text stays
    ProtectsPassword, // a password field: none of its characters may reach the IME
    SelectsNothing,   // the confirmation selects nothing: selection and text stay as they were
    OwnFeedWins,      // the control's own document feed is what the IME gets
};

// A text with its caret ('|') or selection ('[' ... ']') marked: in code page
// 932 (bytes), and as UTF-16 for a Unicode window (units), which keeps the
// characters that code page 932 lacks.
struct Placement {
    std::string text;
    uint32_t selStart = 0, selEnd = 0;
    std::u16string wide;
    uint32_t wideStart = 0, wideEnd = 0;
    bool IsCaret() const { return selStart == selEnd; }
};
Placement Place(const std::u16string& marked);
// The same with `filler` bytes (ASCII) put in front of the text.
Placement PlaceAfterFiller(const std::u16string& marked, size_t filler);
// The same as a line of its own amid lines of kanji and letters: at least
// `before` bytes of them in front, `after` behind.
Placement PlaceInLines(const std::u16string& marked, size_t before, size_t after);

struct RowResult {
    std::string verdict;  // ok, refused or FAIL
    std::string record;   // what the record checks said
    std::string before, after;  // UTF-8, the caret or selection marked in `before`
    std::string note;
    std::vector<std::string> details;  // record bytes and ranges, for rows that are not ok
    bool lostText = false;
    bool Passed() const { return verdict != "FAIL"; }
};

HWND CreateFrame(const char* title);
HWND CreateEditor(HWND frame, EditorKind kind);
// Sets the editor's text, its selection and (unless told not to) the focus.
void Prepare(HWND editor, const Placement& placement);
extern bool g_prepareTakesFocus;

RowResult RunRow(HWND editor, imeside::Pattern pattern, const Placement& placement, Expect expect,
                 imeside::Compose compose = imeside::Compose::AsOffered, bool withoutFill = false);

// "verdict | pattern | scenario | record | before -> after"
std::string FormatRow(const std::string& pattern, const std::string& scenario, const RowResult& row);

// Dispatches the messages waiting for this thread.
void Pump();
