#!/usr/bin/env bash
# Kills a process in the middle of the program's commands at random moments, again and again, and
# checks after each kill that the next start finds the store and the disk agreeing: every row
# with its file or folder, no file without its row, no temporary name left, nothing unresolved.
#   tests/crash/kill_loops.sh DRIVER [KILLS_PER_COMMAND]     (default 25)
# Prints a line of counts per command and exits 1 when any check failed.
set -euo pipefail

driver=${1:?usage: kill_loops.sh DRIVER [KILLS_PER_COMMAND]}
kills=${2:-25}
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-kills-XXXXXX")
# Another file system for the sources, so that moves become copy-and-remove.
other=""
if [[ -d /dev/shm && -w /dev/shm && $(stat -c %d /dev/shm) != $(stat -c %d "$work") ]]; then
    other=$(mktemp -d /dev/shm/marrowdex-kills-XXXXXX)
fi
trap 'rm -rf "$work" ${other:+"$other"}' EXIT

failed=0
printf '%-14s %5s %6s %8s %8s %9s %6s %6s %10s\n' command kills nodes rows-only files-only leftovers done undone unresolved
for command in add-copy add-move add-copy-xfs add-move-xfs import-copy import-move-xfs rename move home-move-xfs delete \
    locate locate-xfs; do
    kind=${command%-xfs}
    inbox="$work/$command-inbox"
    if [[ $command == *-xfs ]]; then
        if [[ -z $other ]]; then
            printf '%-14s skipped: no second file system (/dev/shm) here\n' "$command"
            continue
        fi
        inbox="$other/$command-inbox"
    fi
    program="$work/$command/program"
    home="$work/$command/home"
    mkdir -p "$inbox"
    "$driver" prepare "$program" "$home"
    rows_only=0 files_only=0 leftovers=0 finished=0 undone=0 unresolved=0 nodes=0
    for ((i = 1; i <= kills; i++)); do
        "$driver" run "$program" "$kind" "$inbox" "$RANDOM" >/dev/null 2>&1 &
        pid=$!
        # A random moment: anywhere from the start-up to several commands in.
        sleep "0.$(printf '%03d' $((RANDOM % 600 + 20)))"
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        if ! line=$("$driver" check "$program" 2>"$work/check.err"); then
            failed=1
            echo "after kill $i of $command:" >&2
            cat "$work/check.err" >&2
        fi
        read -r _ n _ _ _ r _ f _ l _ _ _ d _ u _ x _ <<<"$line"
        nodes=$n
        rows_only=$((rows_only + r)) files_only=$((files_only + f)) leftovers=$((leftovers + l))
        finished=$((finished + d)) undone=$((undone + u)) unresolved=$((unresolved + x))
        find "$inbox" -mindepth 1 -delete
    done
    printf '%-14s %5d %6d %8d %8d %9d %6d %6d %10d\n' "$command" "$kills" "$nodes" "$rows_only" "$files_only" \
        "$leftovers" "$finished" "$undone" "$unresolved"
done
exit "$failed"
