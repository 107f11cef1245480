#!/usr/bin/env bash
# Installs what is missing, builds what the system delivers (the libraries and the gpi
# program, all that `cmake --install build` installs) and the example control program (nothing
# else: the test binaries are test.sh's), and runs the main job: the example plays a short
# schedule on two line sources through a broadcast task manager and prints every status
# change, once with each manager variant.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "==> installing what is missing"
./scripts/setup.sh

jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "==> configuring build/"
cmake -S . -B build -G Ninja "${launcher[@]}" >/dev/null
echo "==> building the libraries, the gpi program and the example (build/bin/playout)"
cmake --build build --target deliverables playout -- -j "$jobs" -l "$((jobs * 3 / 2))"

for variant in 1 3; do
    echo "==> running the main job with the variant $variant task manager"
    build/bin/playout "$variant"
done
