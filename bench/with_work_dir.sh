#!/usr/bin/env bash
# Runs a benchmark with a temporary folder for its samples: bench/with_work_dir.sh PREFIX BENCH ARGS...
# The folder is made in MARROWDEX_BENCH_WORK_PARENT (default TMPDIR or /tmp) and goes when the run
# ends, also when it is interrupted or fails; with --keep among the arguments it stays, and this
# says where.
set -euo pipefail

prefix=$1
bench=$2
shift 2
work="$(mktemp -d "${MARROWDEX_BENCH_WORK_PARENT:-${TMPDIR:-/tmp}}/$prefix-XXXXXX")"
keep=0
for arg in "$@"; do
    if [[ "$arg" == --keep ]]; then
        keep=1
    fi
done
if ((keep == 0)); then
    trap 'rm -rf "$work"' EXIT
else
    trap 'echo "work folder kept in $work" >&2' EXIT
fi

"$bench" --work-dir="$work" "$@"
