#!/usr/bin/env bash
# Builds the import benchmark (Release, in its own build folder) and runs it.
# Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=3.
# Environment: as bench/build_bench.sh.
set -euo pipefail

bench="$(bash "$(dirname "${BASH_SOURCE[0]}")/build_bench.sh" marrowdex_import_bench)"

# The trees (about 1 GB of small files at 100k, counting blocks) go with the script.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-import-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" --work-dir="$work" "$@"
