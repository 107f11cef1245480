#!/usr/bin/env bash
# The archive stage of scripts/test.sh: a source archive (git archive output: no .git, and no
# git on a machine set up from it) passes the test command as the checkout does. A cheap check
# rather than a second run of the suite, on the archive of the working tree's tracked files
# (changes not yet committed included, files not yet added left out), with git hidden:
#   1. in the archive: the format check, a configuration of the tree, and the tests of the test
#      command's own scripts (tests/scripts);
#   2. every file of the source tree that a built tree of the checkout read (its compiled
#      sources and the headers they included) is in the archive: one not added to git would
#      break the archive's build.
# Outside a git checkout (run from an archive itself) there is nothing to archive: it says so
# and passes.
#   archive_check.sh [built tree to compare, default build-asan]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd -P)
tree=${1:-build-asan}

if ! command -v git >/dev/null || [ "$(git rev-parse --show-toplevel 2>/dev/null)" != "$top" ]; then
    echo "archive: not a git checkout, nothing to archive"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/src
mkdir -p "$src" "$work/path"

echo "==> archiving the tracked files of the working tree"
# A commit of the working tree's tracked files, made without touching the tree or the index.
snapshot=$(git stash create)
git archive --format=tar "${snapshot:-HEAD}" | tar -x -C "$src"

# A PATH with every program of this one except git (of two of a name, the first, as in PATH).
IFS=: read -ra dirs <<<"$PATH"
for dir in "${dirs[@]}"; do
    [ -d "$dir" ] || continue
    find "$dir" -maxdepth 1 \( -type f -o -type l \) ! -name git -perm -u+x \
        -exec ln -s -t "$work/path" {} + 2>/dev/null || true
done

failed=0
echo "==> the format check, the configuration and the scripts' tests in the archive, without git"
if ! (cd "$src" && PATH=$work/path ./scripts/format.sh); then
    echo "archive: the format check fails in the archive"
    failed=1
fi
if ! (cd "$src" && PATH=$work/path cmake -S . -B build -G Ninja >"$work/configure.log" 2>&1); then
    sed 's/^/    /' "$work/configure.log"
    echo "archive: the archive does not configure"
    failed=1
elif ! (cd "$src" && PATH=$work/path ctest --test-dir build -R '^scripts_' --output-on-failure); then
    echo "archive: the scripts' tests fail in the archive"
    failed=1
fi

echo "==> the files $tree read, in the archive"
if [ ! -f "$tree/compile_commands.json" ] || [ ! -f "$tree/.ninja_deps" ]; then
    echo "archive: $tree is not built, its files not compared"
else
    # Each path as the tree names it (relative ones from the tree); those below the top
    # directory and outside its build trees must be in the archive.
    ninja -C "$tree" -t deps >"$work/deps.txt"
    if ! python3 - "$top" "$tree" "$src" "$work/deps.txt" <<'PY'; then
import json, os, sys
top, tree, src, deps = sys.argv[1:]
tree = os.path.abspath(tree)
paths = {entry["file"] for entry in json.load(open(os.path.join(tree, "compile_commands.json")))}
with open(deps) as lines:
    paths.update(line.strip() for line in lines if line.startswith("    "))
read = set()
for path in paths:
    path = os.path.realpath(os.path.join(tree, path))
    if not os.path.exists(path):  # read once, gone since
        continue
    relative = os.path.relpath(path, top)
    if not relative.startswith(("..", "build")):
        read.add(relative)
missing = sorted(p for p in read if not os.path.exists(os.path.join(src, p)))
for path in missing:
    print("    not in the archive (not added to git?): " + path)
print("    %d files compared, %d missing" % (len(read), len(missing)))
sys.exit(1 if missing else 0)
PY
        failed=1
    fi
fi
exit "$failed"
