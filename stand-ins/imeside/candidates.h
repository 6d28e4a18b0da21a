// The conversion an IME offers for a reconverted string: a small homophone
// dictionary, so that the result always differs visibly from the original
// and a duplicated or misplaced replacement shows in the text. Window-system
// free; strings are UTF-16.
#pragma once

#include <string>

namespace imeside {

// The first candidate for `reading`: every dictionary word in it replaced
// (longest match first, left to right); when no word matched, hiragana and
// katakana swapped. The dictionary works both ways (変換 <-> 返還), so that
// reconverting a result gives the original back.
std::u16string FirstCandidate(const std::u16string& reading);

}  // namespace imeside
