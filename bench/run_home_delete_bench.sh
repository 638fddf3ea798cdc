#!/usr/bin/env bash
# Builds the catalog delete benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh; MARROWDEX_DELETE_DIR, the folder to work in (default
# /tmp; a disk, not a tmpfs, for figures like a user's).
# The sample trees (about 450 MB of small files at 100k, counting the file system's blocks) go
# with the script, even when the run is interrupted or fails.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_home_delete_bench)"
MARROWDEX_BENCH_WORK_PARENT="${MARROWDEX_DELETE_DIR:-${TMPDIR:-/tmp}}" \
    bash "$here/with_work_dir.sh" marrowdex-delete-bench "$bench" "$@"
