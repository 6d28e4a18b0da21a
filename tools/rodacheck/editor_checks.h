// The checks rodacheck's child makes on each of its editors, asking as an IME
// does: reconversion (size query, fill, confirmation, the result in place of
// the composition) and document feed, through WM_IME_REQUEST (imm32's
// ImmRequestMessageA/W) and the four registered messages.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "char_kinds.h"
#include "editors.h"
#include "ime_request.h"
#include "report.h"

namespace rodacheck {

// What the module did across the editors, for the check that it served them
// and for a verdict of "nothing could be checked".
struct Tally {
    int offered = 0;                      // sound records that RODAVOZI.DLL's procedure answered
    std::vector<std::wstring> modules;    // the RODAVOZI.DLL files whose procedure answered
    std::vector<std::string> notServed;   // editors it answered no request of, and why
};

struct CheckSetting {
    const imeside::LeadBytes* leads = nullptr;  // the ANSI code page's; null for 932
    imeside::ImeMessages messages{};
    std::function<void(Status, const std::string&)> emit;
    Tally* tally = nullptr;
};

void CheckEditor(const CheckSetting& setting, const Editor& editor);

// The check that RODAVOZI.DLL itself answered the `editors` that hold
// double-byte text for it (not the control, not nobody), after every editor
// was checked.
void CheckServed(const CheckSetting& setting, size_t editors);

}  // namespace rodacheck
