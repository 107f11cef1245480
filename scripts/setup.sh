#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine; packages already
# present are left alone. Installing needs root: run as another user, it says so at once
# (and does nothing when everything is already there).
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config         # the build
    libgtest-dev libgmock-dev libbenchmark-dev    # the tests and the benchmark
    locales tzdata python3                        # what the tests read and run
    python3-pyftpdlib vsftpd                      # the FTP servers of the FTP tests
    postgresql-15 odbc-postgresql unixodbc unixodbc-dev libsqlite3-dev sqlite3  # databases
    clang-format curl                             # the format check; the HTTP shell's client
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "    every package the build needs is installed"
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "error: installing ${missing[*]} needs root; run 'sudo $0' once, then run this again" >&2
    exit 1
fi
echo "    installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
