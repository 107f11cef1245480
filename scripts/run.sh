#!/usr/bin/env bash
# Installs what is missing, builds the system and runs its main job: the example control
# program plays a short schedule on two line sources through a broadcast task manager and
# prints every status change (once with each manager variant).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
build/bin/playout 1
build/bin/playout 3
