// Facts about the platform's input method manager and edit control that
// decide how the library is used: whether imm32 converts a record between the
// form the IME asks in and the window's form, and whether the system's edit
// control answers IMR_RECONVERTSTRING, IMR_DOCUMENTFEED or
// IMR_QUERYCHARPOSITION itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rodacheck {

// Asks windows of the process's own (no edit controls, so the hook leaves
// them alone) through ImmRequestMessageA and W, each in both forms.
std::vector<std::string> ImmFormFacts(HWND frame, const std::wstring& sample);

// Calls the procedure of fresh edit controls (ANSI and Unicode; user32's and
// comctl32 version 6's) directly, so that no hook or subclass answers in
// their place: whether the control itself answers IMR_RECONVERTSTRING,
// IMR_DOCUMENTFEED or IMR_QUERYCHARPOSITION.
std::vector<std::string> EditAnswerFacts(HWND frame, const std::wstring& text, size_t caret);

}  // namespace rodacheck
