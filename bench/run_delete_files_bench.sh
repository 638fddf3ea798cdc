#!/usr/bin/env bash
# Builds the delete-with-files benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=100000,1000000, --repeats=9.
# Environment: as bench/build_bench.sh.
set -euo pipefail

bench="$(bash "$(dirname "${BASH_SOURCE[0]}")/build_bench.sh" marrowdex_delete_files_bench)"

# The sample store (about 100 MB at a million rows) goes with the script.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-delete-files-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" --work-dir="$work" "$@"
