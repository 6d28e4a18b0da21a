#!/usr/bin/env bash
# Runs one gtest program under Wine and passes only when it exited 0 and its
# summary says at least one test passed: under Wine a stack overflow can end
# with 0 and no summary, and a crash in teardown after the summary with
# another code.
#
# Usage: gtest_verdict.sh WINE-RUN PROGRAM.exe [GTEST-ARGS...]
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" 2>&1 | tee "$out"
code=${PIPESTATUS[0]}
if ((code != 0)); then echo "gtest_verdict: exit code $code"; exit 1; fi
if ! grep -Eq '^\[  PASSED  \] [1-9][0-9]* test' "$out"; then
    echo "gtest_verdict: no gtest summary with a passed test"
    exit 1
fi
