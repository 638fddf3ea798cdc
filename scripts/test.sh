#!/usr/bin/env bash
# Installs what the project needs, builds everything (benchmarks too, so they keep compiling)
# and runs every test. Exits non-zero on any failure.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-test"

# The benchmarks' X client is built here too, so its libraries come along.
bash "$root/scripts/install-deps.sh" --tests --bench-window

generator=()
[[ -f $build/CMakeCache.txt ]] || generator=(-G Ninja)
# Optimised like the shipped program, with assert() left on.
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    -DMARROWDEX_BUILD_TESTS=ON -DMARROWDEX_BUILD_BENCHMARKS=ON
cmake --build "$build" --parallel 2
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
