#!/usr/bin/env bash
# Builds Marrowdex in Release and stages the portable program folder; prints nothing else on
# success but the folder's contents. scripts/run.sh starts the program from it.
#   MARROWDEX_STAGE_DIR  the folder to stage into (default: stage/ at the repo root)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-release"
stage=${MARROWDEX_STAGE_DIR:-$root/stage}
[[ $stage == /* ]] || stage="$PWD/$stage"

bash "$root/scripts/install-deps.sh"

generator=()
[[ -f $build/CMakeCache.txt ]] || generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DMARROWDEX_BUILD_TESTS=OFF -DMARROWDEX_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel 2

# The install rules make mymwdx.db only where none is, so a restaged folder keeps its catalogs.
cmake --install "$build" --prefix "$stage"

echo "Staged in $stage:"
ls -A "$stage" | sed 's/^/  /'
