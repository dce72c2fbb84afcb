#!/usr/bin/env bash
# Counts the test processes whose output holds a sanitizer's report or fatal error, in test logs.
#
#   scripts/sanitizer-count.sh LABEL LOG...
#
# A ctest log (Testing/Temporary/LastTest.log) counts each test of it on its own; any other log
# (a fuzz target's) counts as one process. Prints one line, "LABEL: N of M test processes ...",
# followed by the name of each affected test, whether or not those tests passed. A missing log
# is named and counts nothing. The exit status is 0 whatever was found: this is a report, the
# tests' own status is the verdict.
set -euo pipefail
[ $# -ge 1 ] || {
    echo "usage: sanitizer-count.sh LABEL LOG..." >&2
    exit 2
}
label=$1
shift

# Reports that end a process or make it fail (UBSan's "file:line:col: runtime error:" included).
pattern='Tracer caught signal|Sanitizer has encountered a fatal error|ERROR: (Address|Leak|Thread|Memory|UndefinedBehavior)Sanitizer|WARNING: ThreadSanitizer|Sanitizer:DEADLYSIGNAL|:[0-9]+(:[0-9]+)?: runtime error: |libFuzzer: deadly signal'

total=0
hit=0
names=()
missing=()
for log in "$@"; do
    if [ ! -f "$log" ]; then
        missing+=("$log")
        continue
    fi
    if grep -qE '^[0-9]+/[0-9]+ Testing: ' "$log"; then
        # ctest writes each test's whole section at once, "N/M Testing: name" first.
        while IFS=$'\t' read -r flag name; do
            total=$((total + 1))
            if [ "$flag" = 1 ]; then
                hit=$((hit + 1))
                names+=("$name")
            fi
        done < <(awk -v pattern="$pattern" '
            function flush() { if (name != "") print bad "\t" name }
            /^[0-9]+\/[0-9]+ Testing: / { flush(); name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name); bad = 0; next }
            name != "" && $0 ~ pattern { bad = 1 }
            END { flush() }' "$log")
    else
        total=$((total + 1))
        if grep -qE "$pattern" "$log"; then
            hit=$((hit + 1))
            names+=("$log")
        fi
    fi
done

echo "$label: $hit of $total test processes hit a sanitizer report or fatal error"
for name in "${names[@]}"; do
    echo "    $name"
done
for log in "${missing[@]}"; do
    echo "    (no log $log)"
done
exit 0
