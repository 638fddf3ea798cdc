#!/usr/bin/env bash
# Takes the pictures of every window, in English and in Chinese, that the help pages show: builds
# the GUI tests and runs the windows test, which opens each window as a user would (offscreen,
# with the fonts of this machine) and saves it when MARROWDEX_SHOTS_DIR names a folder.
#   scripts/window-screenshots.sh [FOLDER]     (default: docs/windows)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
output=${1:-$root/docs/windows}
[[ $output == /* ]] || output="$PWD/$output"
build="$root/build-test"

bash "$root/scripts/install-deps.sh" --tests >/dev/null
generator=()
[[ -f $build/CMakeCache.txt ]] || generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARROWDEX_BUILD_TESTS=ON -DMARROWDEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --parallel 2 --target gui_tests

mkdir -p "$output"
MARROWDEX_SHOTS_DIR="$output" timeout 300 "$build/tests/gui/gui_tests" --gtest_filter='WindowsFit.*' \
    --gtest_brief=1
echo "Saved in $output:"
ls "$output" | sed 's/^/  /'
