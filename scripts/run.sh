#!/usr/bin/env bash
# Builds Marrowdex in Release, stages the portable program folder and starts the program from it.
#   MARROWDEX_STAGE_DIR  the folder to stage into (default: stage/ at the repo root)
# Arguments are passed on to the program.
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

# The install rules stage whatever exists so far and make mymwdx.db only where none is.
cmake --install "$build" --prefix "$stage"

echo "Staged in $stage:"
ls -A "$stage" | sed 's/^/  /'

if [[ ! -x $stage/marrowdex ]]; then
    echo "The desktop program (marrowdex) is not built yet; nothing to start."
    exit 0
fi
exec "$stage/marrowdex" "$@"
