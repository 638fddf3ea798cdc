#!/usr/bin/env bash
# Runs a benchmark with a temporary folder for its samples: bench/with_work_dir.sh PREFIX BENCH ARGS...
# The folder goes when the run ends, also when it is interrupted or fails; with --keep among the
# arguments it stays, and the benchmark says where.
set -euo pipefail

prefix=$1
bench=$2
shift 2
work="$(mktemp -d "${TMPDIR:-/tmp}/$prefix-XXXXXX")"
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
