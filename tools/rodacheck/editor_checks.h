// The checks rodacheck's child makes on each of its editors, asking as an IME
// does: reconversion (size query, fill, confirmation, the result in place of
// the composition) and document feed, through WM_IME_REQUEST (imm32's
// ImmRequestMessageA/W) and the four registered messages.
#pragma once

#include <functional>
#include <string>

#include "char_kinds.h"
#include "editors.h"
#include "ime_request.h"
#include "report.h"

namespace rodacheck {

struct CheckSetting {
    const imeside::LeadBytes* leads = nullptr;  // the ANSI code page's; null for 932
    imeside::ImeMessages messages{};
    std::function<void(Status, const std::string&)> emit;
};

void CheckEditor(const CheckSetting& setting, const Editor& editor);

}  // namespace rodacheck
