#!/usr/bin/env bash
# Builds the index page benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=100000,1000000, --repeats=5.
# Environment: as bench/build_bench.sh.
# The sample store and the pages (about 400 MB at 1M nodes) go with the script, even when the
# run is interrupted or fails.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_page_bench)"
bash "$here/with_work_dir.sh" marrowdex-page-bench "$bench" "$@"
