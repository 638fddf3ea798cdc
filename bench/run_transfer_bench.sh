#!/usr/bin/env bash
# Builds the document transfer benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --size=256M, --repeats=5, --move-repeats=21.
# Environment: as bench/build_bench.sh; MARROWDEX_TRANSFER_DIR, the folder to work in (default
# /tmp; it must lie on a disk, not on a tmpfs, and hold twice the file's size).
set -euo pipefail

bench="$(bash "$(dirname "${BASH_SOURCE[0]}")/build_bench.sh" marrowdex_transfer_bench)"

# The source file and its copies (2 GiB at the default size) go with the script, even when the
# run is interrupted or fails.
work="$(mktemp -d "${MARROWDEX_TRANSFER_DIR:-/tmp}/marrowdex-transfer-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" --work-dir="$work" "$@"
