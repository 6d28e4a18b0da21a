#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_text.h"
#include "reconvert/edit_context.h"
#include "reconvert/line_part.h"
#include "support/fake_platform.h"

namespace {

const std::string FA = "\x82\x60", SPACE = "\x81\x40", KAN = "\x8A\xBF";
enum Lie { HONEST, INDEX_PAST_END, SHORT_COPY, NO_LINES };

// A byte-counting control whose display lines wrap every `width` bytes
// (0: never) without splitting a character, and end at each CR LF.
struct Control {
    std::string text;
    std::vector<int> starts, lengths;
    Lie lie = HONEST;
    Control(const std::string& t, int width) : text(t) {
        for (size_t from = 0; from <= t.size();) {
            size_t end = t.find("\r\n", from), stop = end == std::string::npos ? t.size() : end, at = from;
            do {
                size_t next = at;
                while (next < stop && (width == 0 || next - at + (static_cast<unsigned char>(t[next]) >= 0x81 ? 2 : 1) <= size_t(width)))
                    next += static_cast<unsigned char>(t[next]) >= 0x81 ? 2 : 1;
                starts.push_back(int(at));
                lengths.push_back(int(next - at));
                at = next;
            } while (at < stop);
            if (end == std::string::npos) break;
            from = end + 2;
        }
    }
    static Control& Of(void* c) { return *static_cast<Control*>(c); }
    static int64_t Count(void* c) { return Of(c).lie == NO_LINES ? 0 : int64_t(Of(c).starts.size()); }
    static int64_t FromChar(void* c, uint32_t pos) {
        int64_t line = 0;
        while (line + 1 < int64_t(Of(c).starts.size()) && Of(c).starts[line + 1] <= int64_t(pos)) ++line;
        return line;
    }
    static int64_t Index(void* c, int64_t line) {
        return Of(c).lie == INDEX_PAST_END ? int64_t(Of(c).text.size()) + 5 : Of(c).starts[line];
    }
    static int64_t Length(void* c, int64_t index) { return Of(c).lengths[FromChar(c, uint32_t(index))]; }
    static int64_t Get(void* c, int64_t line, unsigned char* out, int room) {
        int n = std::min(room, Of(c).lengths[line]);
        memcpy(out, Of(c).text.data() + Of(c).starts[line], n);
        return Of(c).lie == SHORT_COPY ? n - 1 : n;
    }
};

// Reads the part into a buffer with a guard after the room given.
PartOutcome Read(Control& c, uint32_t start, uint32_t end, std::string* part, LINEPART* p, int capacity = 300,
                 bool whole = false) {
    LINECONTROL lines = {&c, Control::Count, Control::FromChar, Control::Index, Control::Length, Control::Get};
    std::vector<unsigned char> buffer(capacity + 2 + 16, 0xEE);
    PartOutcome outcome = ReadLinePart(&lines, uint32_t(c.text.size()), start, end, 1, whole, buffer.data(), capacity, p);
    for (int i = capacity + 2; i < capacity + 2 + 16; ++i) EXPECT_EQ(buffer[i], 0xEE) << "written past the room";
    if (outcome == PART_READ) *part = std::string(reinterpret_cast<char*>(buffer.data()), p->Length);
    return outcome;
}

TEST(LinePart, EveryCaretAndSelectionGivesWhatTheWholeTextGives) {
    UseCodePage(932);
    const std::string text = Repeat(FA, 30) + "\r\n\r\nab" + Repeat(KAN, 9) + SPACE + Repeat(FA, 25) + "\r\nx" +
                             Repeat(KAN, 40);
    for (int width : {0, 7, 20}) {
        Control c(text, width);
        for (uint32_t at = 0; at <= text.size(); ++at) {
            if (at > 0 && text[at - 1] == '\r') continue;  // no control puts a caret inside a line break
            for (uint32_t length : {0u, 1u, 9u, 70u, 200u}) {
                std::string part;
                LINEPART p;
                ASSERT_EQ(Read(c, at, at + length, &part, &p, 300, width == 7), PART_READ) << width << " " << at;
                char whole[EDIT_CONTEXT_OUT_SIZE], fromPart[EDIT_CONTEXT_OUT_SIZE];
                if (length == 0) {
                    CARETCONTEXT w = CaretContext(text.c_str(), int(text.size()), at, whole);
                    CARETCONTEXT q = CaretContext(part.c_str(), p.Length, p.Start, fromPart);
                    EXPECT_EQ(w.Result, q.Result) << width << " " << at;
                    EXPECT_EQ(w.Start, q.Start + int(p.From)) << width << " " << at;
                } else {
                    int w = SelectedText(text.c_str(), int(text.size()), at, at + length, whole);
                    EXPECT_EQ(w, SelectedText(part.c_str(), p.Length, p.Start, p.End, fromPart) + int(p.From));
                }
                // A line break read is a line feed, and refused as every break is.
                std::replace(whole, whole + strlen(whole), '\r', '\n');
                EXPECT_STREQ(whole, fromPart) << width << " " << at << " " << length;
            }
        }
    }
}

TEST(LinePart, ControlsThatLieOrAnswerNoLinesGetNothingRead) {
    UseCodePage(932);
    Control c(Letters(50) + "\r\n" + Repeat(FA, 400), 0);
    std::string part;
    LINEPART p;
    EXPECT_EQ(Read(c, 60, 60, &part, &p, 64), PART_READ) << "only the caret's reach is read";
    EXPECT_EQ(Read(c, 800, 800, &part, &p, 64), PART_TOO_LONG);
    for (Lie lie : {INDEX_PAST_END, SHORT_COPY}) {
        c.lie = lie;
        EXPECT_EQ(Read(c, 60, 60, &part, &p), PART_REFUSED) << lie;
    }
    c.lie = NO_LINES;
    EXPECT_EQ(Read(c, 60, 60, &part, &p), PART_NO_LINES);
}

}  // namespace
