// The code pages of trace lines. A line's text is in the sender's ANSI code
// page, or, where the sender names one in dwData, in that code page: a
// process whose ANSI code page has no double-byte characters (1252, 65001)
// works on a Unicode window's Japanese text in code page 932. The viewer
// formats such a line in that code page and writes it in its own ANSI code
// page, with each character that its code page lacks as the escape \u{HEX}
// (its code point, e.g. \u{6F22} for 漢); the window shows the character.
#pragma once

#include <string>

#include "trace_format.h"

// The double-byte structure of `codePage` (CP_ACP: the ANSI code page).
void LoadTraceCodePage(unsigned int codePage, TraceCodePage* out);

// `line` (formatted in code page `from`) in the ANSI code page, the
// characters it lacks escaped.
std::string InAnsiCodePage(const std::string& line, unsigned int from);

// For the screen: each \u{HEX} escape as its character (a backslash escaped
// as \\ stays as it is).
std::wstring ShowEscapedCharacters(const std::wstring& text);
