#include "tool_strings.h"

namespace {

// The languages the tables are compiled in (tool.rc.in).
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);

// Read from the resource block of exactly `language`: LoadStringW would pick
// by the thread's language, which a user's UI language need not set.
bool LoadIn(WORD language, unsigned id, std::wstring* text) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(self, MAKEINTRESOURCEW(6) /*RT_STRING*/, MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (found == nullptr) return false;
    const WCHAR* at = static_cast<const WCHAR*>(LockResource(LoadResource(self, found)));
    const WCHAR* end = at + SizeofResource(self, found) / sizeof(WCHAR);
    if (at == nullptr) return false;
    // A block holds 16 strings, each its length and its characters.
    for (unsigned i = 0; i < (id & 15); ++i) {
        if (at >= end) return false;
        at += 1 + *at;
    }
    if (at >= end || *at == 0 || at + 1 + *at > end) return false;
    text->assign(at + 1, *at);
    return true;
}

}  // namespace

WORD ToolLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? LANG_JAPANESE : LANG_ENGLISH;
}

std::wstring ToolString(unsigned id, std::initializer_list<std::wstring> arguments) {
    return ToolStringIn(ToolLanguage(), id, arguments);
}

std::wstring ToolStringIn(WORD language, unsigned id, std::initializer_list<std::wstring> arguments) {
    std::wstring text;
    if (!(language == LANG_JAPANESE && LoadIn(kJapanese, id, &text))) LoadIn(kEnglish, id, &text);
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t n = i + 2 < text.size() && text[i] == L'{' && text[i + 2] == L'}' ? text[i + 1] - L'1' : 9;
        if (n < arguments.size()) {
            result += arguments.begin()[n];
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}
