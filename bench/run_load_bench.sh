#!/usr/bin/env bash
# Builds the start-up load benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --parent-index, --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh.
set -euo pipefail

bench="$(bash "$(dirname "${BASH_SOURCE[0]}")/build_bench.sh" marrowdex_load_bench)"
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
