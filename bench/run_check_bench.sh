#!/usr/bin/env bash
# Builds the health check benchmark and marrowdex-check (Release, in their own build folder) and
# runs it. Extra arguments go to the benchmark, e.g. --sizes=10000,100000, --repeats=5.
# Environment: as bench/build_bench.sh.
# The sample stores and their Home Directories (100k files at 100k) go with the script.
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_check_bench marrowdex-check)"
tool="$(dirname "$(dirname "$bench")")/src/tools/marrowdex-check"
# The sample stores and their Home Directories (100k files at 100k) go with the script.
bash "$here/with_work_dir.sh" marrowdex-check-bench "$bench" --check-tool="$tool" "$@"
