// The editor text that the request benchmarks use, natively and under Wine,
// so that both measure the same text: code page 932 prose of an exact length
// (kanji and kana, with ASCII now and then and a line break after some),
// ending in " ここで漢字を変換する。" with the caret REQUEST_CARET_FROM_END
// bytes before the end, before "する。".
#pragma once

#include <stddef.h>

#include <string>

enum { REQUEST_CARET_FROM_END = 6 };

inline std::string RequestText(size_t length) {
    static const char* const kWords[] = {
        "\x93\xFA\x96\x7B\x8C\xEA",  // 日本語
        "\x82\xCC",                  // の
        "\x95\xB6\x8F\xCD",          // 文章
        "\x82\xF0",                  // を
        "\x8A\xBF\x8E\x9A",          // 漢字
        "\x82\xC9",                  // に
        "\x95\xCF\x8A\xB7",          // 変換
        "\x82\xB7\x82\xE9",          // する
        "\x83\x65\x83\x58\x83\x67",  // テスト
        "\x81\x41",                  // 、
        "Wine 64",
        "\x81\x42",                  // 。
    };
    const std::string tail =
        " \x82\xB1\x82\xB1\x82\xC5\x8A\xBF\x8E\x9A\x82\xF0\x95\xCF\x8A\xB7\x82\xB7\x82\xE9\x81\x42";
    const size_t prose = length > tail.size() ? length - tail.size() : 0;
    std::string out;
    unsigned state = 12345;
    while (out.size() < prose) {
        state = state * 1103515245u + 12345u;
        out += kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
        if ((state >> 8) % 23 == 0) out += "\r\n";
    }
    // Cut back to whole characters, then pad with letters.
    out.resize(prose);
    size_t whole = 0;
    for (size_t i = 0; i < out.size();) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        size_t width = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
        if (i + width > out.size()) break;
        i += width;
        whole = i;
    }
    out.resize(whole);
    while (out.size() < prose) out += 'a';
    return out + tail;
}
