#!/usr/bin/env bash
# Builds the benchmark of a move of many selected nodes (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=1000,10000, --others=100000, --repeats=5.
# Environment: as bench/build_bench.sh; MARROWDEX_MOVE_DIR, the folder to work in (default TMPDIR
# or /tmp; give one on a disk when /tmp is a tmpfs).
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_multi_move_bench)"
MARROWDEX_BENCH_WORK_PARENT="${MARROWDEX_MOVE_DIR:-${TMPDIR:-/tmp}}" \
    bash "$here/with_work_dir.sh" marrowdex-multi-move-bench "$bench" "$@"
