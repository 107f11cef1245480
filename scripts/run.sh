#!/usr/bin/env bash
# Installs what is missing, builds the system and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
# Until the play-out example exists, the main job is the framework's own test programs.
for t in build/bin/test_platform build/bin/test_kestlib; do
    "$t" --gtest_brief=1
done
