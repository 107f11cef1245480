#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine (run as root);
# packages already present are left alone.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          locales tzdata python3 python3-pyftpdlib postgresql-15 odbc-postgresql unixodbc
          unixodbc-dev libsqlite3-dev sqlite3)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
