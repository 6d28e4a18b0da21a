#!/usr/bin/env bash
# Runs the end-to-end demo (scripts/demo) on the programs already built and
# checks its exit code and the key figures of its transcript: the same checks
# on the 64-bit program's part and on the 32-bit one's.
# Usage: demo_check.sh SOURCE-DIR OUT-DIR
set -uo pipefail
src=$1 out=$2
"$src/scripts/demo" --no-build --out "$out" >"$out.log" 2>&1
code=$?
cat "$out.log"
fail=0
check() {  # <what> <command...>
    if "${@:2}"; then echo "demo check ok: $1"; else echo "demo check FAILED: $1"; fail=1; fi
}
count() { grep -c -- "$1" "$t" 2>/dev/null || true; }
check "exit code 0 (was $code)" test "$code" -eq 0
rm -f "$out"/part0*
csplit -s -k -f "$out/part" "$out/transcript.txt" '/^==== the same steps in a 32-bit program/' 2>/dev/null
parts="64 32"
grep -q "^32-bit step NOT RUN" "$out/transcript.txt" && parts=64 && echo "demo check: the 32-bit part NOT RUN"
for bits in $parts; do
    t=$out/part0$((bits == 32))
    echo "== the $bits-bit program's part of the transcript"
    check "the program says it is $bits-bit" grep -q "^imedemo: the IME side, a $bits-bit program" "$t"
    check "the demo says every step was right" grep -q "^demo result: ok, all 4 steps" "$t"
    check "no step checked wrong" test "$(count 'check: WRONG')" -eq 0
    check "six sound records (2 feeds, ANSI, UTF-16; feed and UTF-16 on the Unicode EDIT)" \
        test "$(count 'check: ok, record checks: sound')" -eq 6
    check "three replacements exactly as intended" test "$(count 'replaced as intended')" -eq 3
    check "IMR_DOCUMENTFEED answered from kvexedit and from the Unicode EDIT" \
        test "$(count 'document feed through WM_IME_REQUEST / IMR_DOCUMENTFEED')" -eq 2
    check "the Unicode EDIT selected UTF-16 units 7 to 11 (変換して)" grep -q "in UTF-16 units: 7 to 11" "$t"
    check "ANSI record: 30 bytes, caret at byte 14" grep -q "dwStrLen=30 dwStrOffset=32 dwCompStrLen=0 dwCompStrOffset=14" "$t"
    check "UTF-16 feed record: 15 units" grep -q "dwStrLen=15 dwStrOffset=32 dwCompStrLen=0 dwCompStrOffset=14" "$t"
    check "bytes 14 to 22 selected in step 2 and on the Unicode EDIT" \
        test "$(count 'the editor then selects bytes 14 to 22')" -eq 2
    check "the caret moved on after the next word" grep -q '^the caret moves on to byte 28, after "意味"' "$t"
    check "the second confirmation selected that word, bytes 24 to 30" \
        test "$(count 'the editor then selects bytes 24 to 30')" -eq 1
    check "the DLL's own trace of the confirmation reached the viewer" grep -q "trace: .*confirm 14 22 " "$t"
    check "the text after the steps holds both results" \
        grep -q '^final text: "日本語の文章を返還して、意見を確かめる。" (before the steps: "日本語の文章を変換して、意味を確かめる。")$' "$t"
done
for shot in before after; do
    check "$shot.png is a PNG image" bash -c "head -c 8 '$out/$shot.png' | od -An -c | grep -q 'P   N   G'"
done
exit $fail
