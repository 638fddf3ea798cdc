#!/usr/bin/env bash
# Builds the delete-with-files benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=100000,1000000, --repeats=9.
# Environment: as bench/build_bench.sh.
# The sample store (about 100 MB at a million rows) goes with the script.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_delete_files_bench)"
bash "$here/with_work_dir.sh" marrowdex-delete-files-bench "$bench" "$@"
