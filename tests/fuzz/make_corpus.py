#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are a handful of readable cases per target, laid out as the
targets read their input (see the comment at the top of each *_fuzzer.cpp).
Regression inputs that a fuzzer once found (files named regress-*) live in the
same folders and are left alone; everything else there is rewritten.

Usage: tests/fuzz/make_corpus.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Code-page choice byte (fuzz_support.h).
CP = {932: 0, 936: 1, 949: 2, 950: 3, 1361: 4}
MADE_UP = 5
SINGLE_BYTE = 6


def made_up(max_char_size, pairs):
    lead = bytes(b for pair in pairs for b in pair)
    return bytes([MADE_UP, max_char_size]) + lead.ljust(12, b"\0")


def sjis(text):
    return text.encode("cp932")


def dbcs_cuts(page, n, text):
    return page + struct.pack("<h", n) + text


def builder(page, reconvert, result, text, last_offset=0, comp_offset=0, comp_length=0, terminate=True):
    flags = (1 if reconvert else 0) | (0 if terminate else 2)
    return (page + bytes([flags, last_offset]) + struct.pack("<iII", result, comp_offset, comp_length) + text)


def confirm(caret, comp_offset, comp_length, unicode):
    return struct.pack("<HIIB", caret, comp_offset, comp_length, unicode)


def edit(page, start, end, text, distance=0, length=0):
    return page + struct.pack("<HHI", start, end, (distance << 16) | length) + text


def wide(page, start, end, text):
    return page + struct.pack("<HH", start, end) + text.encode("utf-16-le", "surrogatepass")


def seeds():
    cp932 = bytes([CP[932]])
    yield "dbcs_cuts", "sjis-mixed-n40", dbcs_cuts(cp932, 40, sjis("日本語のテキストabc、半角ｶﾀｶﾅと全角。") * 2)
    yield "dbcs_cuts", "sjis-straddle-n4", dbcs_cuts(cp932, 4, b"abc\x82\xa0")
    yield "dbcs_cuts", "sjis-second-byte-in-lead-range", dbcs_cuts(cp932, 3, b"\x88\x9f\x88\x9f\x88\x9f")
    yield "dbcs_cuts", "sjis-lone-lead-n4", dbcs_cuts(cp932, 4, b"a\x82")
    yield "dbcs_cuts", "sjis-long-n64", dbcs_cuts(cp932, 64, sjis("かな漢字変換ー") * 40)
    yield "dbcs_cuts", "gbk-n9", dbcs_cuts(bytes([CP[936]]), 9, "中文文本abc测试".encode("gbk"))
    yield "dbcs_cuts", "uhc-n7", dbcs_cuts(bytes([CP[949]]), 7, "한국어 텍스트".encode("cp949"))
    yield "dbcs_cuts", "big5-n8", dbcs_cuts(bytes([CP[950]]), 8, "中文字元測試".encode("cp950"))
    yield "dbcs_cuts", "johab-n5", dbcs_cuts(bytes([CP[1361]]), 5, "한글 조합형".encode("johab"))
    yield "dbcs_cuts", "made-up-n64", dbcs_cuts(made_up(2, [(0x81, 0x9F), (0xE0, 0xFC)]), 64,
                                                sjis("テキスト") * 10)
    yield "dbcs_cuts", "made-up-low-lead", dbcs_cuts(made_up(2, [(0x41, 0x5A), (0x81, 0xFE)]), 6,
                                                     b"ABCdef\x81\x40")
    yield "dbcs_cuts", "single-byte-n0", dbcs_cuts(bytes([SINGLE_BYTE]), 0, b"plain text")

    # The record builder: selections (result -1) and carets.
    kanji = sjis("漢字仮名交じり文を再変換する")
    yield "record_builder", "selection", builder(cp932, True, -1, kanji[:14])
    yield "record_builder", "selection-25-cut", builder(cp932, True, -1, sjis("あ") * 25)
    yield "record_builder", "selection-21-then-letter", builder(cp932, True, -1, sjis("い") * 21 + b"a")
    yield "record_builder", "selection-line-feed", builder(cp932, True, -1, kanji + b"\n" + kanji)
    yield "record_builder", "selection-half-width", builder(cp932, True, -1, sjis("ｶﾀｶﾅ"), last_offset=6)
    yield "record_builder", "caret-mixed", builder(cp932, True, 9, b"abc" + sjis("あいうえお") + b"d",
                                                   comp_offset=2, comp_length=2)
    yield "record_builder", "caret-25-before-20-after", builder(cp932, True, 50, sjis("字") * 45,
                                                               comp_offset=12, comp_length=10)
    yield "record_builder", "caret-not-a-boundary-behind", builder(cp932, True, 4, b"A\x82\x82\xb1")
    yield "record_builder", "caret-between-letters-feed", builder(cp932, False, 2, b"abcd")
    yield "record_builder", "caret-past-text-no-terminator", builder(cp932, True, 300, kanji, terminate=False)
    yield "record_builder", "caret-gbk", builder(bytes([CP[936]]), False, 6, "中文文本测试".encode("gbk"),
                                                 comp_offset=2, comp_length=4)
    yield "record_builder", "caret-made-up", builder(made_up(2, [(0x81, 0xFE)]), True, 4,
                                                     b"\x81\x0d\x82\x0a\x83\x41ab")

    # The edit control's context and selection; EM_GETSEL start and end.
    zen = sjis("ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴ")
    prose = sjis("今日は良い天気です。\r\n明日も晴れるでしょう、たぶん。") + b"abc" + sjis("　全角空白の後")
    yield "edit_context", "caret-end-of-abc", edit(cp932, 3, 3, b"abc")
    yield "edit_context", "caret-20-of-40-letters", edit(cp932, 20, 20, b"abcdefghij" * 4, 4, 6)
    yield "edit_context", "caret-after-crlf", edit(cp932, 12, 12, b"abcde\r\nfghij")
    yield "edit_context", "caret-before-crlf", edit(cp932, 3, 3, b"abcde\r\nfghij")
    yield "edit_context", "caret-20-full-width", edit(cp932, 20, 20, zen)
    yield "edit_context", "caret-after-full-width-space", edit(cp932, 10, 10, sjis("ＡＢ　ＣＤ"))
    yield "edit_context", "caret-after-tab", edit(cp932, 5, 5, b"ab\tcd")
    yield "edit_context", "caret-in-prose", edit(cp932, 30, 30, prose, 4, 6)
    yield "edit_context", "caret-inside-character", edit(cp932, 7, 7, prose)
    yield "edit_context", "caret-past-text", edit(cp932, 500, 500, prose)
    yield "edit_context", "selection-80-letters", edit(cp932, 0, 80, b"x" * 90)
    yield "edit_context", "selection-63-then-full-width", edit(cp932, 0, 65, b"y" * 63 + sjis("字"))
    yield "edit_context", "selection-reversed", edit(cp932, 24, 4, prose)
    yield "edit_context", "selection-narrowed-by-confirmation", edit(cp932, 10, 40, prose, 0, 6)
    yield "edit_context", "made-up-break-as-trail", edit(made_up(2, [(0x81, 0xFE)]), 6, 6, b"ab\x81\x0a\x82\x0dcd")

    # A Unicode window's text: EM_GETSEL in units, the text in UTF-16.
    yield "wide_text", "caret-after-word-932", wide(cp932, 5, 5, "漢字を変換する")
    yield "wide_text", "pair-before-caret-932", wide(cp932, 9, 9, "abc\U00020BB7野家で変換")
    yield "wide_text", "caret-inside-pair", wide(cp932, 1, 1, "\U0001F600ひらがな")
    yield "wide_text", "lone-surrogates", wide(cp932, 2, 4, "a\ud800b\udc00c")
    yield "wide_text", "selection-gbk", wide(bytes([CP[936]]), 1, 5, "汉字转换测试")
    yield "wide_text", "selection-uhc", wide(bytes([CP[949]]), 0, 3, "한국어 텍스트")
    yield "wide_text", "caret-big5", wide(bytes([CP[950]]), 3, 3, "中文字元測試")
    yield "wide_text", "caret-1252-outside", wide(bytes([SINGLE_BYTE]), 4, 4, "café€ก漢")
    yield "wide_text", "made-up-page", wide(made_up(2, [(0x81, 0xFE)]), 2, 2, "漢字\r\nかな")

    # Confirmation packing.
    yield "confirm_range", "unicode-distance-4", confirm(6, 2, 2, 1)
    yield "confirm_range", "ansi-odd-length", confirm(6, 3, 5, 0)
    yield "confirm_range", "after-caret", confirm(6, 8, 0, 1)
    yield "confirm_range", "long-composition", confirm(40, 0, 0x8000, 1)
    yield "confirm_range", "huge-fields", confirm(40, 1, 0xFFFFFFFF, 0)


def main():
    written = {}
    for target, name, data in seeds():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        if folder not in written:
            for old in os.listdir(folder):
                if not old.startswith("regress-"):
                    os.remove(os.path.join(folder, old))
            written[folder] = 0
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        written[folder] += 1
    for folder, count in sorted(written.items()):
        print(f"{os.path.relpath(folder, HERE)}: {count} seeds")


if __name__ == "__main__":
    main()
