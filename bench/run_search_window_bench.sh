#!/usr/bin/env bash
# Searching as a user meets it: installs what it needs (a virtual X server, the X client
# libraries), builds the measuring X client (Release, bench/build_bench.sh's folder), stages the
# program with scripts/stage.sh (its Release build) into a temporary folder, starts a virtual X
# server and runs the client there, which puts a sample store of a million nodes beside the
# staged program, starts it and types into its search field. Everything goes at the end.
#   bench/run_search_window_bench.sh [--rows=N] [--rounds=N] [--ping-ms=MS] [--quiet-ms=MS] [--keep]
#   bench/run_search_window_bench.sh --program=/some/staged/marrowdex ...   # another staged program
#                                     (its mymwdx.db is replaced by the sample)
# Environment: as bench/build_bench.sh.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"

bash "$root/scripts/install-deps.sh" --bench-window >&2
bench="$(bash "$here/build_bench.sh" marrowdex_search_window_bench)"

program=""
keep=0
args=()
for arg in "$@"; do
    case $arg in
    --program=*) program=${arg#--program=} ;;
    --keep) keep=1 ;;
    *) args+=("$arg") ;;
    esac
done

work="$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-search-window-bench-XXXXXX")"
# Where the window was left is remembered in the user's configuration folder: this run's own.
export XDG_CONFIG_HOME="$work/config"
xvfb_pid=""
cleanup() {
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if ((keep)); then
        echo "work folder kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

if [[ -z $program ]]; then
    # No desktop entry for the user's menu.
    MARROWDEX_DESKTOP_ENTRY_DIR="" MARROWDEX_STAGE_DIR="$work/stage" bash "$root/scripts/stage.sh" >/dev/null
    program="$work/stage/marrowdex"
fi

# A virtual X server on a display nobody uses (it picks one and says which).
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
if [[ ! -s $work/display ]]; then
    echo "run_search_window_bench: the virtual X server did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

DISPLAY=":$(cat "$work/display")" "$bench" --program="$program" --work-dir="$work" "${args[@]}"
