#!/usr/bin/env bash
# One CTest run in a line, for the summary of scripts/test.sh: how many tests ran and failed
# (with the names of those that failed), how many were skipped and why (each reason a skipped
# GoogleTest test gave, with how many gave it), and which were disabled and where (a GoogleTest
# test named DISABLED_ in its source, or one disabled in its CMakeLists.txt).
#   ctest_summary.sh <CTest's output> <build dir>
set -uo pipefail
out=$1
dir=$2

# CTest's last words: "N% tests passed, F tests failed out of T".
line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
run=$(sed -nE 's/.*out of ([0-9]+).*/\1/p' <<<"$line")
fails=$(sed -nE 's/.*, ([0-9]+) tests? failed.*/\1/p' <<<"$line")
# After "The following tests FAILED:", one line per test: "<tab> 12 - name (Failed)".
names=$(sed -n '/The following tests FAILED:/,$p' "$out" |
    sed -nE 's/^[[:space:]]+[0-9]+ - ([^ ]+) .*/\1/p' | paste -sd, - | sed 's/,/, /g')
# After "The following tests did not run:", one line per test: "<tab> 12 - name (Skipped)".
not_run=$(sed -n '/The following tests did not run:/,/^$/p' "$out")
skipped=$(grep -c '(Skipped)$' <<<"$not_run")
disabled=$(sed -nE 's/^[[:space:]]+[0-9]+ - (.+) \(Disabled\)$/\1/p' <<<"$not_run")

# Each test's output stands in CTest's log between "Output:" and "<end of output>"; a skipped
# GoogleTest test writes "<file>:<line>: Skipped" and its reason on the next line.
reasons=""
log=$dir/Testing/Temporary/LastTest.log
if [ "$skipped" -gt 0 ] && [ -f "$log" ]; then
    reasons=$(awk '
        /^Output:$/ { inside = 1; next }
        /^<end of output>$/ { inside = 0; next }
        inside && want {
            reason = ($0 == "" || $0 ~ /^\[  SKIPPED \]/) ? "no reason given" : $0
            count[reason]++
            want = 0
            next
        }
        inside && /: Skipped$/ { want = 1 }
        END { for (r in count) printf "%s (%d)\n", r, count[r] }' "$log" |
        sort | paste -sd';' - | sed 's/;/; /g')
fi

# Where each disabled test was disabled: GoogleTest's discovery registers a DISABLED_ test
# disabled, with its source name in the command's filter.
disabled_text=""
if [ -n "$disabled" ]; then
    disabled_text=$(ctest --test-dir "$dir" --show-only=json-v1 2>/dev/null |
        DISABLED="$disabled" python3 -c '
import json, os, sys
wanted = os.environ["DISABLED"].splitlines()
try:
    commands = {t["name"]: " ".join(t.get("command", [])) for t in json.load(sys.stdin)["tests"]}
except ValueError:
    commands = {}
groups = {}
for name in wanted:
    if name not in commands:
        reason = "no reason found"
    elif "DISABLED_" in commands[name]:
        reason = "DISABLED_ in the source: run by hand with --gtest_also_run_disabled_tests"
    else:
        reason = "disabled in its CMakeLists.txt"
    groups.setdefault(reason, []).append(name)
print("; ".join(", ".join(names) + " (" + reason + ")" for reason, names in groups.items()))')
fi

text="${run:-no} tests run, ${fails:-?} failed${names:+: $names}"
if [ "$skipped" -gt 0 ]; then
    text+="; $skipped skipped${reasons:+: $reasons}"
fi
if [ -n "$disabled" ]; then
    text+="; $(wc -l <<<"$disabled") disabled: $disabled_text"
fi
echo "$text"
