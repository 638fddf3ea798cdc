#!/usr/bin/env bash
# Builds the start-up load benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --parent-index, --sizes=10000,100000, --repeats=5.
# Environment: MARROWDEX_BENCH_BUILD_DIR (default <repo>/build-bench), JOBS (default 2).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MARROWDEX_BENCH_BUILD_DIR:-$root/build-bench}"

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi
# Tests are left out: the benchmark needs only the core.
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DMARROWDEX_BUILD_TESTS=OFF -DMARROWDEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target marrowdex_load_bench -j "${JOBS:-2}" >/dev/null

bench="$build/bench/marrowdex_load_bench"
for arg in "$@"; do
    if [[ "$arg" == --keep ]]; then
        exec "$bench" "$@" # the benchmark makes its own folder and says where it left it
    fi
done

# The sample stores (about 350 MB at the default sizes) live here and go with the script,
# even when the run is interrupted or fails.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" --work-dir="$work" "$@"
