#!/usr/bin/env bash
# Builds the start-up benchmark (Release, in its own build folder) and runs it; the sample
# program folders (about 150 MB per million rows) live in a temporary folder.
# Extra arguments go to the benchmark, e.g. --sizes=100000,1000000, --shapes=wide,deep, --repeats=5, --keep.
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_startup_bench)"
bash "$here/with_work_dir.sh" marrowdex-startup-bench "$bench" "$@"
