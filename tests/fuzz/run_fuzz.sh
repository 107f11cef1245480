#!/usr/bin/env bash
# Runs one fuzz target from its committed seed corpus: run_fuzz.sh <binary> <seed dir> <work dir>.
# New inputs go to <work dir>/corpus (the seeds are only read), findings to <work dir>/.
# KEST_FUZZ_SECONDS sets the run time (default 5); KEST_FUZZ_ARGS adds libFuzzer options.
set -euo pipefail
binary=$1 seeds=$2 work=$3
mkdir -p "$work/corpus"
# Every deliverable holds its own private copy of the framework library by design: the same
# globals in several modules are no fault here.
export ASAN_OPTIONS="detect_odr_violation=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
seconds=${KEST_FUZZ_SECONDS:-5}
# A set-up that never gets to the inputs is cut off too.
exec timeout --signal=ABRT $((seconds * 2 + 60)) "$binary" "$work/corpus" "$seeds" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" -print_final_stats=1 ${KEST_FUZZ_ARGS:-}
