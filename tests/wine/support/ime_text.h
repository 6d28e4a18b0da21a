// Texts of the IME side's records and reports, for the test programs that
// play the IME (they link stand-ins/imeside).
#pragma once

#include <stdint.h>

#include <string>

#include "char_kinds.h"
#include "ime_client.h"
#include "record_check.h"

// The string of a filled record in code page 932, whatever its form.
inline std::string RecordSjis(const imeside::RecordView& view) {
    return view.encoding == imeside::Encoding::Ansi ? view.ansi : imeside::Utf16ToSjis(view.wide);
}

// A text for a report: UTF-8 on one line (line breaks and tabs escaped); a
// long one shortened to whole characters within 40 bytes of byte `at`, by
// default of its end.
inline std::string Shown(const std::string& sjis, size_t at = std::string::npos) {
    if (at > sjis.size()) at = sjis.size();
    size_t from = 0, to = sjis.size();
    if (sjis.size() > 200) {
        for (const imeside::Cell& c : imeside::SplitSjis(sjis)) {
            if (c.offset + 40 <= at) from = c.offset + c.size;
            if (c.offset >= at + 40 && to == sjis.size()) to = c.offset;
        }
    }
    std::string shown = from ? "<" + std::to_string(from) + " bytes>" : "";
    for (char c : imeside::SjisToUtf8(sjis.substr(from, to - from))) {
        if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else shown += c;
    }
    if (to < sjis.size()) shown += "<" + std::to_string(sjis.size() - to) + " bytes>";
    return shown;
}
