#!/usr/bin/env bash
# Installs the Debian 12 packages Marrowdex needs to build, test and run.
# Asks apt only when something is missing, so a second run costs a few dpkg look-ups.
set -euo pipefail

# Every package the project needs, one a line; a new need is one more line here.
packages=(
    g++                 # C++20 compiler
    cmake               # build
    ninja-build         # build
    libsqlite3-dev      # the store
    sqlite3             # the sqlite3 shell, for looking into a database by hand
    googletest          # GoogleTest and GoogleMock sources
    libgtest-dev        # GoogleTest
    libgmock-dev        # GoogleMock
    libbenchmark-dev    # benchmarks
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
    if [[ $status != ii* ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all ${#packages[@]} packages are installed"
    exit 0
fi

if ((EUID == 0)); then
    apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
elif command -v sudo >/dev/null 2>&1; then
    # sudo drops most of the environment, so the variable goes on the command line.
    apt=(sudo env DEBIAN_FRONTEND=noninteractive apt-get)
else
    echo "install-deps: missing ${missing[*]}; run this as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${apt[@]}" update
"${apt[@]}" install -y --no-install-recommends "${missing[@]}"
