#!/usr/bin/env bash
# Builds the start-up load benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --parent-index, --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh.
# The sample stores (about 350 MB at the default sizes) live here and go with the script,
# even when the run is interrupted or fails.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_load_bench)"
bash "$here/with_work_dir.sh" marrowdex-bench "$bench" "$@"
