#!/usr/bin/env bash
# Builds the health check benchmark and marrowdex-check (Release, in their own build folder) and
# runs it. Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_check_bench)"
tool="$(dirname "$(dirname "$bench")")/src/tools/marrowdex-check"
cmake --build "$(dirname "$(dirname "$bench")")" --target marrowdex-check -j "${JOBS:-2}" >/dev/null

# The sample stores and their Home Directories (100k files at 100k) go with the script.
work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-check-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" --work-dir="$work" --check-tool="$tool" "$@"
