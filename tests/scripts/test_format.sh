#!/usr/bin/env bash
# scripts/format.sh on small copies of the tree: from a source archive (no .git, and with a
# git that does not work) it finds the sources by itself; in a git checkout it checks files
# not yet added too. Build trees, hidden and ignored files are never checked, and one
# misformatted source fails it. Without git (as on a machine set up from a source archive)
# the checkout cases cannot be made: they are left out, and the test ends as skipped (exit 77)
# when the others passed.
#   test_format.sh <top directory of the tree>
set -uo pipefail
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/expect.sh"
left_out=0
have_git=0
command -v git >/dev/null && have_git=1

# A git that is there but fails, as where none is installed.
mkdir -p "$work/nogit"
printf '#!/bin/sh\nexit 127\n' >"$work/nogit/git"
chmod +x "$work/nogit/git"

bad='int  f( ){return 1;}'

# make_copy <dir> <kind: archive|checkout>: the format script, the style file, two sources,
# and what must be skipped: a build tree, a hidden directory, an ignored file (all
# misformatted).
make_copy() {
    local dir=$1 kind=$2
    mkdir -p "$dir/scripts" "$dir/src" "$dir/build-x/CMakeFiles" "$dir/out/CMakeFiles" "$dir/.cache"
    cp "$top/scripts/format.sh" "$dir/scripts/"
    cp "$top/.clang-format" "$dir/"
    cp "$top/devext/device/TelnetDecoder.h" "$top/devext/device/TelnetDecoder.cpp" "$dir/src/"
    for f in build-x/gen.cpp build-x/CMakeFiles/id.cpp out/CMakeFiles/id.cpp .cache/x.h; do
        echo "$bad" >"$dir/$f"
    done
    if [ "$kind" = checkout ]; then
        echo "$bad" >"$dir/src/ignored.cpp"
        printf '/build*/\n/.cache/\n/out/\nignored.cpp\n' >"$dir/.gitignore"
        git -C "$dir" init -q
        git -C "$dir" add scripts .clang-format src/TelnetDecoder.h
    fi
}

# format_in <dir> <path prefix>: the format check of the copy in <dir>, PATH prefixed.
format_in() { (cd "$1" && PATH="$2$PATH" ./scripts/format.sh); }

# name | copy | git (broken: one that fails) | a new source (none, good, bad) | exit | output
cases=(
    "archive                 | archive  | broken | none | 0 | checking the format of 2 files"
    "archive, git present    | archive  | -      | none | 0 | checking the format of 2 files"
    "archive, bad new file   | archive  | broken | bad  | 1 | not formatted: src/new.cpp"
    "checkout                | checkout | -      | none | 0 | checking the format of 2 files"
    "checkout, good new file | checkout | -      | good | 0 | checking the format of 3 files"
    "checkout, bad new file  | checkout | -      | bad  | 1 | not formatted: src/new.cpp"
    "checkout, git broken    | checkout | broken | bad  | 1 | not formatted: src/new.cpp"
)
i=0
for row in "${cases[@]}"; do
    IFS='|' read -r name kind git new want text <<<"$row"
    trim() { local v=$1; v=${v#"${v%%[! ]*}"}; echo "${v%"${v##*[! ]}"}"; }
    name=$(trim "$name") kind=$(trim "$kind") git=$(trim "$git") new=$(trim "$new")
    want=$(trim "$want") text=$(trim "$text")
    path=""
    [ "$git" = broken ] && path="$work/nogit:"
    i=$((i + 1))
    if [ "$kind" = checkout ] && [ "$have_git" -eq 0 ]; then
        echo "left out: $name (no git)"
        left_out=$((left_out + 1))
        continue
    fi
    dir=$work/copy$i
    make_copy "$dir" "$kind"
    case $new in
    bad) echo "$bad" >"$dir/src/new.cpp" ;;
    good) printf 'int f()\n{\n    return 1;\n}\n' >"$dir/src/new.cpp" ;;
    esac
    expect "$name" "$want" "$text" format_in "$dir" "$path"
done

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
if [ "$left_out" -gt 0 ]; then
    # The form of a skipped GoogleTest test, whose reason the test command's summary shows.
    printf '%s: Skipped\ngit is not installed: %d checkout cases of the format check left out\n' \
        "${BASH_SOURCE[0]##*/}" "$left_out"
    exit 77
fi
