#!/usr/bin/env python3
"""Checks that each installed header stands on its own.

1. Each header includes the standard headers of the facilities it names itself (std::atomic
   needs <atomic>, a smart pointer <memory>, ...), rather than leaning on what another header
   happens to pull in, which changes between standard library versions.
2. Each header compiles on its own with the project's flags and include paths: the target
   kest_header_check of a configured build tree (cmake/HeaderCheck.cmake), one translation unit
   a header, built in parallel under a load limit and a time bound.

Usage: scripts/check_headers.py [build dir, default build-asan] [time bound s, default 900]
"""
import glob
import os
import re
import signal
import subprocess
import sys

# The installed headers: these folders, less the gpi program's own.
FOLDERS = ["platform", "KestLib20", "Kest20", "devext", "drivers", "gpi"]
NOT_INSTALLED = ("gpi/main/",)


def exempt(root):
    """Headers not meant to stand alone (cmake/HeaderCheckExempt.txt: path # reason)."""
    with open(os.path.join(root, "cmake", "HeaderCheckExempt.txt"), encoding="utf-8") as f:
        lines = [line.split("#", 1)[0].strip() for line in f]
    return {line for line in lines if line}


# A facility named in a header and the standard header that declares it.
RULES = [
    ("atomic", "atomic"),
    ("unique_ptr|shared_ptr|weak_ptr|make_unique|make_shared|enable_shared_from_this", "memory"),
    ("mutex|recursive_mutex|lock_guard|unique_lock|scoped_lock", "mutex"),
    ("condition_variable", "condition_variable"),
    ("function", "functional"),
    ("thread", "thread"),
    ("optional", "optional"),
    ("string", "string"),
    ("vector", "vector"),
    ("map", "map"),
    ("deque", "deque"),
]


def headers(root):
    skipped = exempt(root)
    for folder in FOLDERS:
        for path in sorted(glob.glob(os.path.join(root, folder, "**", "*.h"), recursive=True)):
            name = os.path.relpath(path, root)
            if not name.startswith(NOT_INSTALLED) and name not in skipped:
                yield name


def missing_includes(root):
    faults = []
    for name in headers(root):
        with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
            text = f.read()
        code = re.sub(r"//.*", "", text)
        included = set(re.findall(r"#include\s*<([^>]+)>", text))
        for names, wanted in RULES:
            used = re.search(rf"\bstd::({names})\b", code)
            if used and wanted not in included:
                faults.append(f"{name}: {used.group(0)} without <{wanted}>")
    return faults


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tree = sys.argv[1] if len(sys.argv) > 1 else "build-asan"
    bound = int(sys.argv[2]) if len(sys.argv) > 2 else 900
    failed = False
    print("==> the standard headers each header names", flush=True)
    for fault in missing_includes(root):
        print("    " + fault)
        failed = True
    print(f"==> each header compiled on its own ({tree})", flush=True)
    jobs = os.cpu_count() or 1
    command = ["cmake", "--build", tree, "--target", "kest_header_check", "--",
               "-k", "0", "-j", str(jobs), "-l", str(jobs * 3 // 2)]
    # In a session of its own, so that the bound ends the compilers under cmake too.
    build = subprocess.Popen(command, cwd=root, start_new_session=True)
    try:
        if build.wait(timeout=bound) != 0:
            failed = True
    except subprocess.TimeoutExpired:
        os.killpg(build.pid, signal.SIGTERM)
        build.wait()
        print(f"    not done within {bound} s")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
