#!/usr/bin/env bash
# Builds the document transfer benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --size=256M, --repeats=5, --move-repeats=21.
# Environment: as bench/build_bench.sh; MARROWDEX_TRANSFER_DIR, the folder to work in (default
# /tmp; it must lie on a disk, not on a tmpfs, and hold twice the file's size).
# The source file and its copies (2 GiB at the default size) go with the script, even when the
# run is interrupted or fails.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_transfer_bench)"
MARROWDEX_BENCH_WORK_PARENT="${MARROWDEX_TRANSFER_DIR:-${TMPDIR:-/tmp}}" \
    bash "$here/with_work_dir.sh" marrowdex-transfer-bench "$bench" "$@"
