// The units the control of a window counts its positions in (bytes of the
// ANSI text, or UTF-16 units), and reading its text in its own form. The
// rules: units_evidence.h. The window's record keeps what decisive evidence
// taught, once per window.
#pragma once

#include "module/platform.h"

// The window property in which the hook notes the form a window of the
// system's edit class was created in (UNITS_BYTES or UNITS_UTF16), before
// anyone can subclass it. Properties go with their window.
#define CREATED_FORM_PROPERTY "RodavoziCreatedForm"

// Whether the window is of the system's edit class.
bool IsSystemEditClass(HWND window);

// The units of the window's control: as learnt (`decided` true), or what the
// evidence at hand short of its text points to (`decided` false: the caller
// reads the text in that form and hands it to LearnUnits).
int ControlUnits(HWND window, bool* decided);

// Learns the units from the window's whole text as just read (`length`
// units of UTF-16 when `wide`, else bytes), and the control's own whole
// length: keeps a decisive answer in the window's record. Returns the units
// to use for this request. Bytes are those of the process's ANSI code page,
// whatever code page a request works in (working_code_page.h), so an ANSI
// text is handed over only while a request works in that code page.
int LearnUnits(HWND window, const void* text, int length, bool wide);

// Sends `message` to the control in the form `wide`: when the window's
// current procedure takes the other form, straight to its class's own
// procedure, so that no conversion of the system's stands between (its
// best-fit characters would pass for the text's own).
LRESULT SendInForm(HWND window, bool wide, UINT message, WPARAM wParam, LPARAM lParam);
