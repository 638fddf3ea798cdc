#!/usr/bin/env bash
# Builds benchmark or tool targets in Release and prints the path of the first one's executable.
#   bench/build_bench.sh TARGET [TARGET...]
# A build folder that does not exist yet is configured here (Release, benchmarks on, tests off);
# one that exists is only built, never configured again, so a build someone else made keeps its
# options. It must have the benchmarks on.
# Environment: MARROWDEX_BENCH_BUILD_DIR (default <repo>/build-bench), JOBS (default 2).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MARROWDEX_BENCH_BUILD_DIR:-$root/build-bench}"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    generator=()
    if command -v ninja >/dev/null 2>&1; then
        generator=(-G Ninja)
    fi
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DMARROWDEX_BUILD_TESTS=OFF -DMARROWDEX_BUILD_BENCHMARKS=ON >/dev/null
elif ! grep -q '^MARROWDEX_BUILD_BENCHMARKS:BOOL=ON$' "$build/CMakeCache.txt"; then
    echo "build_bench: $build was configured without the benchmarks; name another folder in MARROWDEX_BENCH_BUILD_DIR" >&2
    exit 2
elif ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
    echo "build_bench: $build is not a Release build: the figures will not be representative" >&2
fi
cmake --build "$build" --target "$@" -j "${JOBS:-2}" >/dev/null
for folder in bench src/tools src/app src; do
    if [[ -x "$build/$folder/$1" ]]; then
        echo "$build/$folder/$1"
        exit 0
    fi
done
echo "build_bench: no executable $1 in $build" >&2
exit 2
