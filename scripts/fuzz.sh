#!/usr/bin/env bash
# The fuzz stage: installs clang with its libFuzzer runtime when missing (Debian 12), builds
# the fuzz targets of tests/fuzz in their own tree (build-fuzz) and runs each for a few
# seconds from its seed corpus (CTest label `fuzz`). Without clang it says so and skips.
#   KEST_FUZZ_SECONDS=600 ./scripts/fuzz.sh           # longer runs
#   KEST_FUZZ_SECONDS=600 ./scripts/fuzz.sh -R vdcp   # ... of some targets (ctest options)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" = 0 ]; then
    echo "fuzz: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } ||
        echo "fuzz: could not install ${missing[*]}"
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null ||
    ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    echo "fuzz: SKIPPED (clang++ with libFuzzer is not available)"
    exit 0
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# -O1 with line tables only: quicker to build, and what libFuzzer's traces need.
cmake -S . -B build-fuzz -G Ninja -DKEST_FUZZ=ON -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target fuzz_targets -- -l "$(nproc)"
ctest --test-dir build-fuzz -L fuzz -j "$(nproc)" --output-on-failure "$@"
