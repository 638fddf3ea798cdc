#!/usr/bin/env bash
# Builds the repair benchmark and marrowdex-check (Release, in their own build folder) and runs it
# on a temporary folder. Extra arguments go to the benchmark, e.g. --nodes=10000, --keep.
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
root="$(cd "$here/.." && pwd)"
bench="$(bash "$here/build_bench.sh" marrowdex_repair_bench marrowdex-check)"
build="$(dirname "$(dirname "$bench")")"
timeout 900 bash "$here/with_work_dir.sh" marrowdex-repair-bench "$bench" --check-tool="$build/src/tools/marrowdex-check" \
    --script="$root/resources/js" "$@"
