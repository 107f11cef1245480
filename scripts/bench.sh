#!/usr/bin/env bash
# Builds an optimised tree (build-bench) with only the benchmarks and runs each of them,
# printing one table: every figure beside the machine's own limit measured in the same run.
#
#     scripts/bench.sh [starts=200] [spacing ms=2500] [idle s=10]
#
# Run it on an idle machine; the ratios hold on a busy one, the absolute figures do not.
set -euo pipefail
cd "$(dirname "$0")/.."

starts=${1:-200}
spacing=${2:-2500}
idle=${3:-10}
build=build-bench
log=${TMPDIR:-/tmp}/kest-bench-build.log
launcher=()
if command -v ccache > /dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEST_TESTS=ON \
    -DKEST_SANITIZE=OFF -DKEST_TSAN=OFF "${launcher[@]}" > "$log"
cmake --build "$build" --target benchmarks -- -l "$(nproc)" >> "$log" ||
    { tail -30 "$log"; exit 1; }

bin=$build/bin
status=0
printf '| %-46s | %12s | %12s | %12s | %-6s |\n' figure value "limit" difference unit
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..48})" "$(printf -- '-%.0s' {1..14})" \
    "$(printf -- '-%.0s' {1..14})" "$(printf -- '-%.0s' {1..14})" "$(printf -- '-%.0s' {1..8})"
"$bin/bench_play_lateness" "$starts" "$spacing" || status=1
"$bin/bench_exchange" 500 || status=1
"$bin/bench_log_core" 1000000 || status=1
"$bin/bench_idle_scale" "$idle" 10 || status=1
"$bin/bench_ftp_agent" 500 20 || status=1
exit $status
