#!/usr/bin/env bash
# Builds the node removal benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh.
# The sample store and its two copies (about 25 MB at 100k rows) go with the script, even when
# the run is interrupted or fails.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_node_removal_bench)"
bash "$here/with_work_dir.sh" marrowdex-removal-bench "$bench" "$@"
