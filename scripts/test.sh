#!/usr/bin/env bash
# Installs what is missing, then runs the test suite in stages: format (the format check),
# asan (the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer), headers
# (each installed header stands on its own; needs the asan tree), tsan (the threaded test
# binaries, marked TSAN in their CMakeLists, built with ThreadSanitizer), fuzz (the fuzz
# targets, a few seconds each from their seed corpora) and archive (what a source archive
# holds passes as the checkout does; compares with the asan tree). Every stage runs even when
# an earlier one failed; each prints a line at the start of each of its phases, the end shows
# one summary line per stage (for a test tree: the tests run, failed, skipped with the reasons
# for the skips, and disabled), and the exit code is non-zero when any stage failed. With
# CI=true, a database server that cannot be started fails the stage instead of skipping its
# tests (scripts/pg.sh).
#
#   scripts/test.sh                 # every stage
#   scripts/test.sh format tsan     # those stages only, in their own order
#
# Adding a stage: one line at the bottom, `stage <name> <command> [arguments...]`, and its name
# in `stages`. The command runs from the repository's top directory and fails with a non-zero
# status; it may print its phases with `phase <text>` and put a short note in the summary with
# `note <text>`. A stage that builds a tree and runs its tests can use `suite <build dir>
# <cmake options...>`, with the environment of its tests given before `stage` (see the
# ThreadSanitizer stage).
set -uo pipefail
cd "$(dirname "$0")/.."

stages=(format asan headers tsan fuzz archive)
selected=("$@")
for name in "${selected[@]}"; do
    if [[ " ${stages[*]} " != *" $name "* ]]; then
        echo "usage: $0 [stage...]; the stages: ${stages[*]}" >&2
        exit 2
    fi
done
[ ${#selected[@]} -eq 0 ] && selected=("${stages[@]}")

jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

summary=()
failed=0
stage_note=""
stage_name=""

phase() { echo "==> $*"; }
note() { stage_note="$*"; }

# stage <name> <command...>: runs one stage, when it is selected, and records its outcome for
# the summary.
stage() {
    stage_name=$1
    shift
    [[ " ${selected[*]} " == *" $stage_name "* ]] || return 0
    stage_note=""
    if "$@"; then
        summary+=("$stage_name: passed${stage_note:+ ($stage_note)}")
    else
        summary+=("$stage_name: FAILED${stage_note:+ ($stage_note)}")
        failed=1
    fi
}

# suite <build dir> <cmake options...>: configures and builds the tree, runs its tests.
suite() {
    local dir=$1
    shift
    phase "configuring the $stage_name tree ($dir)"
    if ! cmake -S . -B "$dir" -G Ninja "$@" "${launcher[@]}" >/dev/null; then
        note "configuration failed, no tests run"
        return 1
    fi
    phase "building the $stage_name tree ($dir)"
    if ! cmake --build "$dir" -- -j "$jobs" -l "$((jobs * 3 / 2))"; then
        note "build failed, no tests run"
        return 1
    fi
    phase "running the tests of the $stage_name tree"
    local log
    log=$(mktemp)
    # The soak (label soak) runs for minutes: by hand only, see the README.
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure -LE soak | tee "$log"
    local rc=${PIPESTATUS[0]}
    note "built; $(./scripts/ctest_summary.sh "$log" "$dir")"
    rm -f "$log"
    return "$rc"
}

phase "installing what is missing"
./scripts/setup.sh || exit 1

stage format ./scripts/format.sh # every source follows .clang-format
stage asan suite build-asan -DKEST_SANITIZE=ON # ASan+UBSan
stage headers ./scripts/check_headers.py build-asan # each installed header on its own
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 stage tsan suite build-tsan -DKEST_TSAN=ON
stage fuzz ./scripts/fuzz.sh # clang/libFuzzer targets of tests/fuzz, skipped without clang
stage archive ./scripts/archive_check.sh build-asan # a source archive passes as the checkout

echo
echo "==> summary"
printf '    %s\n' "${summary[@]}"
exit "$failed"
