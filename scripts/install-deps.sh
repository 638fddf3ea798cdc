#!/usr/bin/env bash
# Installs the Debian 12 packages Marrowdex needs to build and run it; with --tests, also what
# the tests need (GoogleTest, Chromium, Node.js and the npm packages of
# tests/browser); with --screenshot, what scripts/screenshot.sh needs (a virtual X server); with
# --bench-window, what bench/run_search_window_bench.sh needs (a virtual X server and the X
# client libraries its measuring program is built with).
# Asks apt only when something is missing, so a second run costs a few look-ups.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
with_tests=0
with_screenshot=0
with_bench_window=0
for arg in "$@"; do
    case $arg in
    --tests) with_tests=1 ;;
    --screenshot) with_screenshot=1 ;;
    --bench-window) with_bench_window=1 ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
    esac
done

# Every package the project needs, one a line; a new need is one more line here.
packages=(
    g++                 # C++20 compiler
    cmake               # build
    ninja-build         # build
    libsqlite3-dev      # the store
    sqlite3             # the sqlite3 shell, for looking into a database by hand (and the browser test)
    qt6-base-dev        # Qt 6 Core, Gui and Widgets: the desktop program (Test too, for the GUI tests)
    qt6-translations-l10n # qtbase_zh_CN.qm: Qt's own buttons and file choosers in Chinese
    fonts-dejavu-core   # a font for the windows' texts on a machine that has none
    fonts-wqy-microhei  # the same for the Chinese texts
)
test_packages=(
    googletest          # GoogleTest's sources, which libgtest-dev builds on
    libgtest-dev        # GoogleTest
    chromium            # the index page in a real browser
)
screenshot_packages=(
    xvfb                # a virtual X server to show the program in
    x11-apps            # xwd, which captures the screen
    xdotool             # clicks in the program as a user would
    imagemagick         # convert, which turns the capture into a PNG
)
bench_window_packages=(
    xvfb                # a virtual X server to run the program in
    pkg-config          # finds the X client libraries below
    libxcb1-dev         # the benchmark's X client: pings, window lookup
    libxcb-damage0-dev  # the same: sees the tree change on screen
    libxcb-xtest0-dev   # the same: types into the search field
)
if ((with_screenshot)); then
    packages+=("${screenshot_packages[@]}")
fi
if ((with_bench_window)); then
    packages+=("${bench_window_packages[@]}")
fi
if ((with_tests)); then
    packages+=("${test_packages[@]}")
    # Node.js may come from Debian (nodejs + npm) or already be on the machine with its own npm.
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        packages+=(nodejs npm)
    fi
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
    if [[ $status != ii* ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all ${#packages[@]} packages are installed"
else
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
fi

if ((with_tests)); then
    # Exactly the locked versions; playwright-core drives the Chromium installed above and never
    # downloads a browser of its own.
    (cd "$root/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
fi
