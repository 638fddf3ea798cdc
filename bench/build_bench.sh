#!/usr/bin/env bash
# Builds one benchmark target in Release, in its own build folder (tests left out: the
# benchmarks need only the core), and prints the path of its executable.
#   bench/build_bench.sh TARGET
# Environment: MARROWDEX_BENCH_BUILD_DIR (default <repo>/build-bench), JOBS (default 2).
set -euo pipefail

target=$1
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MARROWDEX_BENCH_BUILD_DIR:-$root/build-bench}"

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DMARROWDEX_BUILD_TESTS=OFF -DMARROWDEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target "$target" -j "${JOBS:-2}" >/dev/null
echo "$build/bench/$target"
