#!/usr/bin/env bash
# Builds the tree edit benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=100,1000000, --repeats=5, --edits=9.
# Environment: as bench/build_bench.sh.
set -euo pipefail

bench="$(bash "$(dirname "${BASH_SOURCE[0]}")/build_bench.sh" marrowdex_tree_edit_bench)"

# The sample program folders (about 90 MB per million rows) go with the script, even when the
# run is interrupted or fails; with --keep they stay, and the benchmark says where.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-tree-edit-bench-XXXXXX")"
keep=0
for arg in "$@"; do
    if [[ "$arg" == --keep ]]; then
        keep=1
    fi
done
if ((keep == 0)); then
    trap 'rm -rf "$work"' EXIT
fi

"$bench" --work-dir="$work" "$@"
