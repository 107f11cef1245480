#!/usr/bin/env bash
# Installs what is missing, builds the system with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the whole test suite, then builds the threaded test
# binaries (marked TSAN in their CMakeLists) with ThreadSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build-asan -G Ninja -DKEST_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan -j 8 --output-on-failure

cmake -S . -B build-tsan -G Ninja -DKEST_TSAN=ON >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -j 8 --output-on-failure

./scripts/fuzz.sh # fuzz stage: clang/libFuzzer targets of tests/fuzz, skipped without clang
