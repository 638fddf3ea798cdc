#!/usr/bin/env bash
# Runs every benchmark in turn with its defaults and prints each one's table (every ratio beside
# the baseline it is measured against) under a heading; the figures README.md quotes come from
# this. A benchmark that fails is reported and the others still run; the exit status says whether
# all of them ran.
#   bench/run_all.sh [--only=NAME,NAME] [--log-dir=DIR]
# NAME is a script's middle part: load for run_load_bench.sh. Each output is also kept in DIR
# (default: a new folder under TMPDIR or /tmp, named at the end).
# Environment: as bench/build_bench.sh and the scripts it runs.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
only=""
logs=""
for arg in "$@"; do
    case $arg in
    --only=*) only=",${arg#--only=}," ;;
    --log-dir=*) logs=${arg#--log-dir=} ;;
    *)
        echo "usage: bench/run_all.sh [--only=NAME,NAME] [--log-dir=DIR]" >&2
        exit 2
        ;;
    esac
done
if [[ -z $logs ]]; then
    logs="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-bench-all-XXXXXX")"
fi
mkdir -p "$logs"

failed=()
for script in "$here"/run_*_bench.sh; do
    name=$(basename "$script" .sh)
    name=${name#run_}
    name=${name%_bench}
    if [[ -n $only && $only != *",$name,"* ]]; then
        continue
    fi
    echo "=== $name ($(date -u +%H:%M:%S), load $(cut -d' ' -f1-3 /proc/loadavg))"
    if bash "$script" 2>"$logs/$name.err" | tee "$logs/$name.out"; then
        echo
    else
        echo "!!! $name failed: the last lines of its errors follow (all in $logs/$name.err)"
        tail -5 "$logs/$name.err"
        failed+=("$name")
    fi
done
echo "outputs kept in $logs"
if ((${#failed[@]} > 0)); then
    echo "failed: ${failed[*]}"
    exit 1
fi
