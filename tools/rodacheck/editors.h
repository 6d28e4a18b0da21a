// The editors that rodacheck's child process serves: the system's edit
// control in the forms programs create it, each holding a sample text with
// the caret inside it, and what each one's EM_GETSEL counts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rodacheck {

// The text an editor holds: Japanese where `codePage` holds it, else text of
// the code page's own language, else plain ASCII.
struct Sample {
    std::wstring text;
    size_t caret = 0;         // UTF-16 units before the caret
    bool doubleByte = false;  // the text has double-byte characters in the code page
    std::string about;        // what was chosen, for the report
    UINT codePage = CP_ACP;
};
Sample ChooseSample(UINT codePage = CP_ACP);

// The code page RODAVOZI.DLL works on a Unicode window's text in, on this
// thread: the ANSI code page when it has double-byte characters, else the
// input language's when that one has them.
UINT WorkingCodePage();

// What a control's positions count.
enum class Units { Bytes, Utf16, Either, Unknown };
const char* UnitsName(Units units);

struct Editor {
    std::string name;
    HWND window = nullptr;
    bool createdUnicode = false;
    bool password = false;
    std::wstring text;
    size_t caret = 0;  // UTF-16 units of text before the caret
    Units units = Units::Unknown;  // what its EM_GETSEL counts, as measured
    bool doubleByte = false;  // it holds double-byte text that the library works on
    std::wstring control;     // the module of the control's own procedure
};

// Creates a visible frame with the editors: ANSI EDIT, Unicode EDIT, an ANSI
// EDIT under a Unicode procedure (SetWindowLongPtrW), a Unicode EDIT under an
// ANSI procedure (SetWindowLongPtrA), a password field, a multi-line EDIT,
// and comctl32 version 6's edit control (what programs with the common
// controls manifest get) as an ANSI and a Unicode window; those created as
// Unicode windows hold `unicodeSample`. False when a window cannot be
// created.
bool CreateEditors(const Sample& sample, const Sample& unicodeSample, HWND* frame, std::vector<Editor>* editors);

// Puts the editor's text back and the caret where it belongs; gives it the focus.
void Reset(const Editor& editor);
// The control's position (in its measured units) of UTF-16 index `index` of its text.
DWORD ControlPosition(const Editor& editor, size_t index);
std::wstring EditorText(HWND window);

// A fresh edit control of the system, created as an ANSI or a Unicode
// window, child of `frame`, holding `text`: user32's, or with
// `commonControls` comctl32 version 6's (null when that cannot be had).
HWND CreateEdit(HWND frame, bool unicode, DWORD style, const std::wstring& text, bool commonControls = false);

// The file of the module that holds the window's current procedure; empty
// when the procedure lies in no module (a thunk of the other form).
std::wstring ProcedureModule(HWND window);
// The file name of a path, without its folder.
std::wstring FileName(const std::wstring& path);

}  // namespace rodacheck
