#!/usr/bin/env bash
# Builds the trash benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh; MARROWDEX_DELETE_DIR, the folder to work in (default TMPDIR
# or /tmp; give one on a disk when /tmp is a tmpfs).
# The samples (two stores and their Home Directories of N files each) go with the script.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_trash_bench)"
MARROWDEX_BENCH_WORK_PARENT="${MARROWDEX_DELETE_DIR:-${TMPDIR:-/tmp}}" \
    bash "$here/with_work_dir.sh" marrowdex-trash-bench "$bench" "$@"
