// "kvexedit": an editor window of the project's own that behaves like the
// system's ANSI edit control, with positions counted in bytes of the ANSI
// text (the system's control under Wine counts characters). Used by the
// tests and the demo host.
//
// Messages answered as an edit control answers them: WM_GETTEXT,
// WM_GETTEXTLENGTH, WM_SETTEXT (caret to 0), EM_GETSEL (32-bit positions
// through its pointer arguments too), EM_SETSEL (start -1 drops the
// selection, end -1 or beyond means the end of the text; the two may come in
// either order), EM_REPLACESEL, the line messages in bytes (EM_GETLINECOUNT,
// EM_LINEFROMCHAR, EM_LINEINDEX, EM_LINELENGTH, EM_GETLINE), EM_GETPASSWORDCHAR
// and EM_SETPASSWORDCHAR (ES_PASSWORD shows '*'), WM_SETFONT, WM_GETFONT.
// With the style KVEXEDIT_TEXT_MESSAGES_ONLY it answers no line message, as
// a control that offers only its whole text.
// Typed characters (WM_CHAR, also a two-byte character sent as two WM_CHAR),
// WM_IME_CHAR and the result string of WM_IME_COMPOSITION replace the
// selection. ES_MULTILINE shows the text line by line (lines end at a line
// feed), otherwise on one line. Arrow keys, Home, End, Delete, Backspace and
// the mouse move the caret; the text changing sends EN_CHANGE to the parent, gaining and losing the focus
// EN_SETFOCUS and EN_KILLFOCUS (the caret is destroyed on focus loss).
//
// The text holds at most KVEXEDIT_TEXT_LIMIT bytes; longer input is cut at a
// character. EM_SETSEL takes its offsets as given (clamped to the text), even
// inside a two-byte character, so tests can present such a caret.
#pragma once

#include <windows.h>

#define KVEXEDIT_CLASS "kvexedit"

enum { KVEXEDIT_TEXT_LIMIT = 2 * 1024 * 1024 - 1 };

// A style bit of this class: no line messages answered.
#define KVEXEDIT_TEXT_MESSAGES_ONLY 0x4000L

// Registers the window class "kvexedit" for `instance`; TRUE when it is
// registered now or already was.
BOOL RegisterKvexEditClass(HINSTANCE instance);

// Replaces the selection with `text` (ANSI) as an IME's result string would,
// and leaves the caret after it. The same as EM_REPLACESEL.
void KvexEditReplaceSelection(HWND window, const char* text);
