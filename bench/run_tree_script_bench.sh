#!/usr/bin/env bash
# Builds marrowdex-initdb and marrowdex-index (Release, in the benchmarks' build folder) and runs
# the tree script benchmark in headless Chromium (bench/tree_script_bench.mjs).
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000 --repeats=3 --js=DIR.
# Environment: as bench/build_bench.sh; MARROWDEX_CHROMIUM for another Chromium.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="${MARROWDEX_BENCH_BUILD_DIR:-$root/build-bench}"

bash "$here/build_bench.sh" marrowdex-initdb marrowdex-index >/dev/null
if [[ ! -d "$root/tests/browser/node_modules/playwright-core" ]]; then
    (cd "$root/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
fi

# The benchmark makes its own temporary folder for the pages and removes it when it ends.
node "$here/tree_script_bench.mjs" --index-tool "$build/src/tools/marrowdex-index" \
    --initdb "$build/src/tools/marrowdex-initdb" "$@"
