#!/usr/bin/env bash
# Builds the import benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=3.
# Environment: as bench/build_bench.sh.
# The trees (about 1 GB of small files at 100k, counting blocks) go with the script.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_import_bench)"
bash "$here/with_work_dir.sh" marrowdex-import-bench "$bench" "$@"
