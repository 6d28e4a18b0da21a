#include "candidates.h"

namespace imeside {

namespace {

// Pairs of words that read alike; each converts to the other.
const char16_t* const kHomophones[][2] = {
    {u"変換", u"返還"}, {u"機能", u"昨日"}, {u"漢字", u"幹事"}, {u"文章", u"文書"},
    {u"試す", u"為す"}, {u"例文", u"霊文"}, {u"日本", u"二本"}, {u"入力", u"乳力"},
    {u"変", u"偏"},     {u"字", u"次"},     {u"語", u"碁"},     {u"単語", u"短語"},
    {u"意味", u"意見"}, {u"行", u"業"},
};

}  // namespace

std::u16string FirstCandidate(const std::u16string& reading) {
    std::u16string out;
    bool matched = false;
    for (size_t i = 0; i < reading.size();) {
        const char16_t* best = nullptr;
        size_t bestLength = 0;
        for (const auto& pair : kHomophones)
            for (int side = 0; side < 2; ++side) {
                std::u16string word = pair[side];
                if (word.size() > bestLength && reading.compare(i, word.size(), word) == 0) {
                    best = pair[1 - side];
                    bestLength = word.size();
                }
            }
        if (best) {
            out += best;
            i += bestLength;
            matched = true;
        } else {
            out += reading[i++];
        }
    }
    if (matched) return out;
    for (char16_t& c : out) {
        if (c >= 0x3041 && c <= 0x3096)
            c = static_cast<char16_t>(c + 0x60);
        else if (c >= 0x30A1 && c <= 0x30F6)
            c = static_cast<char16_t>(c - 0x60);
    }
    return out;
}

}  // namespace imeside
