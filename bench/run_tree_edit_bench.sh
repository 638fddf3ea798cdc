#!/usr/bin/env bash
# Builds the tree edit benchmark (Release, in its own build folder) and runs it; the sample
# program folders (about 90 MB per million rows) live in a temporary folder.
# Extra arguments go to the benchmark, e.g. --sizes=100,1000000, --repeats=5, --edits=9, --keep.
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_tree_edit_bench)"
bash "$here/with_work_dir.sh" marrowdex-tree-edit-bench "$bench" "$@"
