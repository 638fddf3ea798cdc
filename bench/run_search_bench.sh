#!/usr/bin/env bash
# Builds the search benchmark (Release, in its own build folder) and runs it; the sample program
# folder (about 90 MB per million rows) lives in a temporary folder.
# Extra arguments go to the benchmark, e.g. --sizes=1000000, --repeats=5, --keep.
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_search_bench)"
bash "$here/with_work_dir.sh" marrowdex-search-bench "$bench" "$@"
