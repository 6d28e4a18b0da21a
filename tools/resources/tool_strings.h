// The strings a user of the tools reads, in English and in Japanese, from the
// tool's own string tables, picked by the user's UI language.
//
// A tool declares its strings in one file, <tool>_strings.inc, one line each:
//
//     TOOL_STRING(kMenuExit, 110, "E&xit", "終了(&X)")
//
// an identifier, a number unique within the tool (1..65535), the English and
// the Japanese text (UTF-8; "" for a quote, \n for a line break; {1} to {9}
// where ToolString's arguments go, in whatever order the language needs).
// Not a .h: the resource compiler reads only the #defines of a header.
//
// The tool's CMakeLists names the file, which compiles both tables into its
// resources, and links the loader:
//
//     rodavozi_tool_resources(reconvhost host "RODAVOZI reconversion host"
//         JAPANESE "RODAVOZI 再変換ホスト" STRINGS reconvhost_strings.inc)
//     target_link_libraries(reconvhost PRIVATE rodavozi_tool_strings)
//
// and the code declares the identifiers from the same file:
//
//     enum ReconvhostString : unsigned {
//     #define TOOL_STRING(id, number, en, ja) id = number,
//     #include "reconvhost_strings.inc"
//     #undef TOOL_STRING
//     };
//
//     MessageBoxW(nullptr, ToolString(kCannotLoad, {path, why}).c_str(), ...);
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// The language the tools speak to this user: LANG_JAPANESE when the user's UI
// language is Japanese, else LANG_ENGLISH.
WORD ToolLanguage();

// String `id` of this program's tables in ToolLanguage() (English when the
// Japanese table lacks it; "" when neither has it), with {1}..{9} replaced by
// the arguments.
std::wstring ToolString(unsigned id, std::initializer_list<std::wstring> arguments = {});

// The same in `language` (LANG_JAPANESE or LANG_ENGLISH), whatever the
// user's: for text that must stay in one language, such as a report for a
// bug report.
std::wstring ToolStringIn(WORD language, unsigned id, std::initializer_list<std::wstring> arguments = {});
