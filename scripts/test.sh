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

# The same tests built with ThreadSanitizer, in a folder of their own (no benchmarks): the core's
# and the windows' tests must run without a single report, which fails them (Qt's own internals,
# built without it, are left out by the suppressions).
tsan="$root/build-tsan"
generator=()
[[ -f $tsan/CMakeCache.txt ]] || generator=(-G Ninja)
cmake -S "$root" -B "$tsan" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    -DMARROWDEX_BUILD_TESTS=ON -DMARROWDEX_BUILD_BENCHMARKS=OFF -DMARROWDEX_TSAN=ON
cmake --build "$tsan" --parallel 2
TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$root/tests/tsan/qt.supp" \
    ctest --test-dir "$tsan" --label-regex '^(core|gui)$' --output-on-failure --no-tests=error -j2
