#!/usr/bin/env bash
# Checks that every C++ source and header in the repository follows .clang-format (the format
# stage of scripts/test.sh); with --fix, formats them in place. Installs clang-format when it
# is missing (Debian 12: clang-format 14, the version the tree is formatted with).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "format: clang-format is missing and installing it needs root" >&2
        exit 1
    fi
    echo "==> installing clang-format"
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends clang-format >/dev/null
fi

# The sources: in a git checkout, the tracked ones and those not yet added (what .gitignore
# leaves out is skipped); without git or outside a checkout (a source archive), every .cpp and
# .h below the top directory except in hidden directories and build trees.
list_sources() {
    if command -v git >/dev/null &&
        [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
        git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' |
            while IFS= read -r -d '' f; do [ -f "$f" ] && printf '%s\0' "$f"; done
    else
        find . -mindepth 1 \( -name '.*' -o -path './build*' -o -name CMakeFiles \) -prune -o \
            -type f \( -name '*.cpp' -o -name '*.h' \) -printf '%P\0' | sort -z
    fi
}

mapfile -d '' -t files < <(list_sources)
if [ ${#files[@]} -eq 0 ]; then
    echo "format: no sources found in $(pwd)" >&2
    exit 1
fi
if [ "${1:-}" = "--fix" ]; then
    printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 50 clang-format -i
    exit 0
fi
echo "==> checking the format of ${#files[@]} files"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 50 clang-format --dry-run --Werror \
    2>"$log"; then
    grep -E '^[^ ].*: (error|warning):' "$log" | cut -d: -f1 | sort -u |
        sed 's/^/    not formatted: /'
    echo "format: run ./scripts/format.sh --fix" >&2
    exit 1
fi
