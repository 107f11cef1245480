#!/usr/bin/env bash
# The test command's summary of a test tree counts skipped tests with their reasons, names the
# disabled ones with where they were disabled, and the database server script fails, rather
# than skips, in CI.
#   test_test_summary.sh <top directory of the tree>
set -uo pipefail
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() { # <case> <condition result> <details>
    if [ "$2" -eq 0 ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        echo "$3" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

# A tree whose tests pass, fail and skip the way GoogleTest's do.
mkdir -p "$work/tree"
cat >"$work/tree/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(skips NONE)
enable_testing()
function(fake name output)
    file(WRITE ${CMAKE_BINARY_DIR}/${name}.txt "${output}")
    add_test(NAME ${name} COMMAND cat ${CMAKE_BINARY_DIR}/${name}.txt)
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
set(pg "Skipped\nPostgreSQL could not be started: the server did not start\n\n[  SKIPPED ]")
fake(passes "[ RUN      ] A.Pass\n[       OK ] A.Pass (0 ms)\n")
fake(pg_open "[ RUN      ] Db.Open\ndb.cpp:10: ${pg} Db.Open (0 ms)\n")
fake(pg_close "[ RUN      ] Db.Close\ndb.cpp:10: ${pg} Db.Close (0 ms)\n")
fake(no_link "[ RUN      ] Db.Link\ndb.cpp:3: Skipped\nno link to lose\n\n[  SKIPPED ] Db.Link (0 ms)\n")
fake(bare "[ RUN      ] Db.Bare\ndb.cpp:4: Skipped\n\n[  SKIPPED ] Db.Bare (0 ms)\n")
add_test(NAME fails COMMAND false)
# Disabled as GoogleTest's discovery registers a DISABLED_ test, and in the CMakeLists.
add_test(NAME [=[Soak.Faults/1]=] COMMAND false --gtest_filter=Soak.DISABLED_Faults/1)
add_test(NAME off COMMAND false)
set_tests_properties([=[Soak.Faults/1]=] off PROPERTIES DISABLED TRUE)
CMAKE
cmake -S "$work/tree" -B "$work/tree/build" -G Ninja >/dev/null
ctest --test-dir "$work/tree/build" -j 4 >"$work/ctest.txt" 2>&1
summary=$("$top/scripts/ctest_summary.sh" "$work/ctest.txt" "$work/tree/build")
want="6 tests run, 1 failed: fails; 4 skipped: PostgreSQL could not be started: the server did \
not start (2); no link to lose (1); no reason given (1); 2 disabled: Soak.Faults/1 (DISABLED_ in \
the source: run by hand with --gtest_also_run_disabled_tests); off (disabled in its CMakeLists.txt)"
[ "$summary" = "$want" ]
check "skips counted with their reasons, disabled tests named" $? \
    "got:    $summary"$'\n'"wanted: $want"

# Nothing skipped or disabled: no word of them.
sed -i '/^fake(pg_\|^fake(no_link\|^fake(bare\|^add_test(NAME \[\|^add_test(NAME off\|^set_tests_properties(\[/d' \
    "$work/tree/CMakeLists.txt"
cmake -S "$work/tree" -B "$work/tree/build" >/dev/null
ctest --test-dir "$work/tree/build" >"$work/ctest.txt" 2>&1
summary=$("$top/scripts/ctest_summary.sh" "$work/ctest.txt" "$work/tree/build")
[ "$summary" = "2 tests run, 1 failed: fails" ]
check "no skips or disabled tests, no word of them" $? "got: $summary"

# The database server cannot be started (its ODBC driver is not found): the tests skip with
# the reason, or, in CI, the start fails.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/odbcinst"
chmod +x "$work/bin/odbcinst"
for ci in "" true; do
    state=$work/pg-$ci
    out=$(CI=$ci PATH="$work/bin:$PATH" "$top/scripts/pg.sh" start "$state" 2>&1)
    rc=$?
    want=0
    [ "$ci" = true ] && want=1
    [ "$rc" -ne 0 ] && rc=1
    grep -q '^KEST_TEST_PG_ERROR=.' "$state/env" 2>/dev/null
    kept=$?
    [ "$rc" = "$want" ] && [ "$kept" -eq 0 ]
    check "server not started, CI=${ci:-unset}: exit $want, reason kept" $? "exit $rc: $out"
    "$top/scripts/pg.sh" stop "$state"
done

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
