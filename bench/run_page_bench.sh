#!/usr/bin/env bash
# Builds the index page benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=100000,1000000, --repeats=5.
# Environment: MARROWDEX_BENCH_BUILD_DIR (default <repo>/build-bench), JOBS (default 2).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MARROWDEX_BENCH_BUILD_DIR:-$root/build-bench}"

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DMARROWDEX_BUILD_TESTS=OFF -DMARROWDEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target marrowdex_page_bench -j "${JOBS:-2}" >/dev/null

# The sample store and the pages (about 400 MB at 1M nodes) go with the script, even when the
# run is interrupted or fails.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-page-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$build/bench/marrowdex_page_bench" --work-dir="$work" "$@"
