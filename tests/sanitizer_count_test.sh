#!/usr/bin/env bash
# scripts/sanitizer-count.sh on planted logs: which tests it counts as hit, and which not.
set -uo pipefail
count=$(dirname "$0")/../scripts/sanitizer-count.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "sanitizer_count_test: $*" >&2
    exit 1
}

# A ctest log as ctest writes it: the leak checker's tracer crashed after a passing test, one test
# is clean, one has UBSan's report, one prints a C++ exception's text that only looks like it.
cat >"$work/LastTest.log" <<'LOG'
Start testing: Dec 07 20:00 UTC
----------------------------------------------------------
1/5 Testing: TextureTest.SameFileTwiceGivesTwoGlNames
1/5 Test: TextureTest.SameFileTwiceGivesTwoGlNames
Command: "/usr/bin/env" "MESA_SHADER_CACHE_DISABLE=true" "build-asan/tests/texture_test"
Output:
----------------------------------------------------------
[  PASSED  ] 1 test.
Tracer caught signal 11: addr=0x7c8 pc=0x7f3a2c0e1a10 sp=0x7f3a1b7fdd00
==4711==LeakSanitizer has encountered a fatal error.
<end of output>
Test time =   1.20 sec
----------------------------------------------------------
Test Failed.
"TextureTest.SameFileTwiceGivesTwoGlNames" end time: Dec 07 20:00 UTC
----------------------------------------------------------

2/5 Testing: TextureTest.Clean
2/5 Test: TextureTest.Clean
Output:
----------------------------------------------------------
[  PASSED  ] 1 test.
<end of output>
Test Passed.
----------------------------------------------------------

3/5 Testing: DrawTest.Overflow
Output:
----------------------------------------------------------
show/draw.cpp:12:5: runtime error: signed integer overflow: 2147483647 + 1
<end of output>
Test Passed.
----------------------------------------------------------

4/5 Testing: OptionsTest.Message
Output:
----------------------------------------------------------
what(): runtime error: a message of the program's own
<end of output>
Test Passed.
----------------------------------------------------------

5/5 Testing: BassTest.Race
Output:
----------------------------------------------------------
WARNING: ThreadSanitizer: data race (pid=12)
<end of output>
Test Failed.
LOG
printf 'INFO: Seed: 1\nDone 1000 runs\n' >"$work/clean.log"
printf '==9==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x1\n' >"$work/found.log"

out=$(bash "$count" asan "$work/LastTest.log") || fail "exit status $? on a ctest log"
expected="asan: 3 of 5 test processes hit a sanitizer report or fatal error
    TextureTest.SameFileTwiceGivesTwoGlNames
    DrawTest.Overflow
    BassTest.Race"
[ "$out" = "$expected" ] || fail "ctest log counted as:
$out"

out=$(bash "$count" fuzz "$work/clean.log" "$work/found.log" "$work/none.log") ||
    fail "exit status $? on plain logs"
expected="fuzz: 1 of 2 test processes hit a sanitizer report or fatal error
    $work/found.log
    (no log $work/none.log)"
[ "$out" = "$expected" ] || fail "plain logs counted as:
$out"

out=$(bash "$count" clean "$work/clean.log") || fail "exit status $? on a clean log"
[ "$out" = "clean: 0 of 1 test processes hit a sanitizer report or fatal error" ] ||
    fail "a clean log counted as: $out"
echo "sanitizer_count_test: passed"
