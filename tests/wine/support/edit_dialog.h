// A dialog holding the platform's EDIT control, made from a template in
// memory, for tests that serve an edit window inside a dialog.
#pragma once

#include <windows.h>

// Creates a visible dialog (Unicode) with one EDIT control (id 100) and
// returns the control; null when the dialog could not be made.
HWND EditInADialog();
