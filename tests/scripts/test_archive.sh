#!/usr/bin/env bash
# scripts/archive_check.sh on a small checkout of its own: the archive holds the working tree's
# tracked files, changes not yet committed included, and its checks run without git; a header
# the built tree read but git does not have fails it, and so does a misformatted change; run
# from an archive it has nothing to do. Needs git (to make the checkout): without it the test
# ends as skipped (exit 77).
#   test_archive.sh <top directory of the tree>
set -uo pipefail
top=$1
if ! command -v git >/dev/null; then
    printf '%s: Skipped\ngit is not installed: no checkout to archive\n' "${BASH_SOURCE[0]##*/}"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/expect.sh"
dir=$work/checkout
git() { command git -C "$dir" -c user.name=test -c user.email=test@localhost "$@"; }

mkdir -p "$dir/scripts" "$dir/src"
cp "$top/scripts/archive_check.sh" "$top/scripts/format.sh" "$dir/scripts/"
cp "$top/.clang-format" "$dir/"
printf 'int f();\n' >"$dir/src/a.h"
printf '#include "src/a.h"\n\nint f()\n{\n    return 1;\n}\n' >"$dir/src/a.cpp"
# The archive's own tests of its scripts: here, one that sees no git and no .git.
cat >"$dir/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(archived CXX)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
include_directories(${CMAKE_SOURCE_DIR})
add_library(a STATIC src/a.cpp)
enable_testing()
add_test(NAME scripts_no_git COMMAND sh -c "! command -v git && test ! -e .git"
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
CMAKE
printf '/build*/\n' >"$dir/.gitignore"
git init -q && git add . && git commit -qm tree
cmake -S "$dir" -B "$dir/build-x" -G Ninja >/dev/null && cmake --build "$dir/build-x" >/dev/null ||
    { echo "FAILED: the small tree does not build"; exit 1; }

# The archive check of the small tree, compared with its built tree.
archive() { "$dir/scripts/archive_check.sh" build-x; }

expect "every file tracked" 0 "2 files compared, 0 missing" archive
# A new header, included by a change not yet committed.
printf 'int g();\n' >"$dir/src/b.h"
printf '#include "src/b.h"\n' >>"$dir/src/a.h"
cmake --build "$dir/build-x" >/dev/null
expect "a header not added" 1 "not in the archive (not added to git?): src/b.h" archive
git add src/b.h
expect "a header added, not committed" 0 "3 files compared, 0 missing" archive
printf 'int  f( ){return 1;}\n' >>"$dir/src/a.cpp"
expect "a misformatted change not committed" 1 "not formatted: src/a.cpp" archive
git checkout -q -- src/a.cpp
rm -rf "$dir/.git"
expect "from an archive" 0 "not a git checkout, nothing to archive" archive

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
