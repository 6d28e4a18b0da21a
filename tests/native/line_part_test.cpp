#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_text.h"
#include "reconvert/edit_context.h"
#include "reconvert/line_part.h"
#include "support/fake_platform.h"

namespace {

const std::string FA = "\x82\x60", SPACE = "\x81\x40", KAN = "\x8A\xBF";
enum Lie { HONEST, INDEX_PAST_END, SHORT_COPY };

// A byte-counting control whose display lines wrap every `width` bytes
// (0: never) without splitting a character, and end at each CR LF.
struct Control {
    std::string text;
    std::vector<int> starts, lengths;
    Lie lie = HONEST;
    Control(const std::string& t, int width) : text(t) {
        for (size_t at = 0, stop; at <= t.size(); at = stop + 2) {
            stop = std::min(t.find("\r\n", at), t.size());
            do {
                size_t next = at, w;
                while (next < stop && (w = (unsigned char)t[next] >= 0x81 ? 2 : 1, !width || next + w - at <= size_t(width)))
                    next += w;
                starts.push_back(int(at));
                lengths.push_back(int(next - at));
                at = next;
            } while (at < stop);
        }
    }
    static Control& Of(void* c) { return *static_cast<Control*>(c); }
    static int64_t Count(void* c) { return int64_t(Of(c).starts.size()); }
    static int64_t FromChar(void* c, uint32_t pos) {
        return std::upper_bound(Of(c).starts.begin(), Of(c).starts.end(), int64_t(pos)) - Of(c).starts.begin() - 1;
    }
    static int64_t Index(void* c, int64_t n) { return Of(c).lie == INDEX_PAST_END ? 1 << 20 : Of(c).starts[n]; }
    static int64_t Length(void* c, int64_t index) { return Of(c).lengths[FromChar(c, uint32_t(index))]; }
    static int64_t Get(void* c, int64_t n, unsigned char* out, int room) {
        memcpy(out, Of(c).text.data() + Of(c).starts[n], std::min(room, Of(c).lengths[n]));
        return std::min(room, Of(c).lengths[n]) - (Of(c).lie == SHORT_COPY);
    }
};

// Reads the part into a buffer with a guard after the room given.
PartOutcome Read(Control& c, uint32_t start, uint32_t end, std::string* part, LINEPART* p, int capacity = 300,
                 bool whole = false) {
    LINECONTROL lines = {&c, Control::Count, Control::FromChar, Control::Index, Control::Length, Control::Get};
    std::vector<unsigned char> buffer(capacity + 2 + 16, 0xEE);
    PartOutcome outcome = ReadLinePart(&lines, uint32_t(c.text.size()), start, end, 1, whole, buffer.data(), capacity, p);
    EXPECT_EQ(std::count(buffer.begin() + capacity + 2, buffer.end(), 0xEE), 16) << "written past the room";
    if (outcome == PART_READ) *part = std::string(reinterpret_cast<char*>(buffer.data()), p->Length);
    return outcome;
}

// What the text source hands back (a line break read is a line feed), where
// it begins in the window, and the caret in it.
std::tuple<std::string, int, int> Handed(const char* text, int length, uint32_t start, uint32_t end, int from = 0) {
    char out[EDIT_CONTEXT_OUT_SIZE];
    CARETCONTEXT k = {0, start != end ? SelectedText(text, length, start, end, out) : 0, -1};
    if (start == end) k = CaretContext(text, length, start, out);
    std::string handed = out;
    std::replace(handed.begin(), handed.end(), '\r', '\n');
    return {handed, from + k.Start, k.Result};
}

// Wrapped or not, read whole or up to the reach: what the part gives is what
// the whole text gives; controls that lie get nothing.
TEST(LinePart, EveryCaretAndSelectionGivesWhatTheWholeTextGives) {
    UseCodePage(932);
    const std::string text = Repeat(FA, 30) + "\r\n\r\nab" + Repeat(KAN, 9) + SPACE + Repeat(FA, 25) + "\r\nx" +
                             Repeat(KAN, 40);
    for (int width : {0, 7, 20}) {
        Control c(text, width);
        for (uint32_t at = 0; at <= text.size(); ++at) {
            if (at > 0 && text[at - 1] == '\r') continue;  // no control puts a caret inside a line break
            for (uint32_t length : {0u, 1u, 9u, 70u, 200u}) {
                std::string part, where = std::to_string(width) + " " + std::to_string(at) + "+" + std::to_string(length);
                LINEPART p;
                ASSERT_EQ(Read(c, at, at + length, &part, &p, 300, width == 7), PART_READ) << where;
                EXPECT_EQ(Handed(text.c_str(), int(text.size()), at, at + length),
                          Handed(part.c_str(), p.Length, p.Start, p.End, int(p.From))) << where;
            }
        }
    }
    Control lines(Letters(50) + "\r\n" + Repeat(FA, 400), 0);
    std::string part;
    LINEPART p;
    EXPECT_EQ(Read(lines, 60, 60, &part, &p, 64), PART_READ) << "only the reach is read";
    EXPECT_EQ(Read(lines, 800, 800, &part, &p, 64), PART_TOO_LONG);
    for (Lie lie : {INDEX_PAST_END, SHORT_COPY}) {
        lines.lie = lie;
        EXPECT_EQ(Read(lines, 60, 60, &part, &p), PART_REFUSED) << lie;
    }
}

}  // namespace
