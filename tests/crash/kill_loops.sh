#!/usr/bin/env bash
# Kills a process in the middle of the program's commands at random moments, again and again, and
# checks after each kill that the next start finds the store and the disk agreeing: every row
# with its file or folder, no file without its row, no temporary name left, nothing unresolved,
# the trash holding exactly what its rows say. The restore, undo and multi-move loops only move
# prepared files about the tree and the trash: after each kill every one of them must still be there.
#   tests/crash/kill_loops.sh DRIVER [KILLS_PER_COMMAND]     (default 25)
# Prints a line of counts per command and exits 1 when any check failed.
#
# Then journals a store from elsewhere may hold, planted one at a time (at least 11 rounds, every
# kind): each must be refused with nothing touched.
#
# Last, a Home Directory move onto a small file system of its own (a tmpfs in a mount namespace of
# this script's, as root) that fails and puts everything back, killed each time at the moment the
# first folder it put back reappears in the old Home Directory. Each kill must lose no file.
# ROLLBACK_FILES (default 8000) sets the size of that folder.
set -euo pipefail

# The Home Directory move killed while it puts things back, inside the mount namespace.
#   kill_loops.sh --rollback-inside DRIVER KILLS WORK
rollback_loop() {
    local driver=$1 kills=$2 work=$3
    local files=${ROLLBACK_FILES:-8000}
    local program="$work/rollback/program" home="$work/rollback/home" new="$work/rollback/new"
    mkdir -p "$new"
    # Room for the folder's files (a page each), not for big.bin.
    mount -t tmpfs -o "size=$((files * 4 + 6144))k" tmpfs "$new"
    local aimed=0 lost=0 delay losing=0 failed=0 undone=0 finished=0 unresolved=0
    for ((i = 1; i <= kills; i++)); do
        if [[ ! -d $program ]]; then
            "$driver" prepare-rollback "$program" "$home" "$files" 16
        fi
        "$driver" run "$program" home-move-to "$new" "$RANDOM" >/dev/null 2>&1 &
        local pid=$!
        # The sign on disk: A leaves the old Home Directory (copied over), then comes back. The
        # copy left in the new folder goes next, in some tens of milliseconds: the kill lands
        # there, or at once.
        while [[ -e $home/A ]] && kill -0 "$pid" 2>/dev/null; do :; done
        while [[ ! -e $home/A ]] && kill -0 "$pid" 2>/dev/null; do :; done
        delay=$((RANDOM % 45))
        ((delay < 5)) || sleep "0.0$(printf '%02d' "$delay")"
        # Counted when it lands while the move still runs.
        if kill -KILL "$pid" 2>/dev/null; then
            aimed=$((aimed + 1))
        fi
        wait "$pid" 2>/dev/null || true
        local line
        if ! line=$("$driver" check "$program" 2>"$work/check.err"); then
            failed=1
            echo "after rollback kill $i:" >&2
            head -5 "$work/check.err" >&2
        fi
        local r d u x where
        read -r _ _ _ _ _ r _ _ _ _ _ _ _ d _ u _ x _ _ _ _ _ _ _ where <<<"$line"
        finished=$((finished + d)) undone=$((undone + u)) unresolved=$((unresolved + x))
        if [[ $where != "$home" ]]; then
            failed=1
            echo "after rollback kill $i the Home Directory is $where, not $home" >&2
        fi
        if ((r > 0)); then
            # Files lost: start again from a whole knowledge base.
            lost=$((lost + r)) losing=$((losing + 1))
            rm -rf "$work/rollback/program" "$home"
            find "$new" -mindepth 1 -delete
        fi
    done
    umount "$new"
    printf '%-14s %5d %6d %6d %8d %11d %6d %6d %10d\n' home-move-back "$kills" "$aimed" "$losing" "$lost" "$files" \
        "$finished" "$undone" "$unresolved"
    ((failed == 0 && lost == 0 && aimed > 0))
}

if [[ ${1:-} == --rollback-inside ]]; then
    rollback_loop "$2" "$3" "$4"
    exit
fi

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
printf '%-14s %5s %6s %8s %8s %9s %6s %6s %10s %12s %9s\n' command kills nodes rows-only files-only leftovers done \
    undone unresolved trash-faults kept-lost
# The restore loop's prepared files: 3 catalogs with this many documents each.
kept_each=4
for command in add-copy add-move add-copy-xfs add-move-xfs import-copy import-move-xfs rename move home-move-xfs delete \
    locate locate-xfs trash restore empty undo-move undo-delete multi-move; do
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
    kept_files=0
    if [[ $command == restore || $command == undo-* || $command == multi-move ]]; then
        kept_files=$((3 * kept_each))
        "$driver" prepare "$program" "$home" "$kept_each"
    else
        "$driver" prepare "$program" "$home"
    fi
    rows_only=0 files_only=0 leftovers=0 finished=0 undone=0 unresolved=0 nodes=0 trash_faults=0 kept_lost=0
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
        read -r _ n _ _ _ r _ f _ l _ _ _ d _ u _ x _ _ _ t _ k _ <<<"$line"
        nodes=$n
        rows_only=$((rows_only + r)) files_only=$((files_only + f)) leftovers=$((leftovers + l))
        finished=$((finished + d)) undone=$((undone + u)) unresolved=$((unresolved + x))
        trash_faults=$((trash_faults + t))
        if ((kept_files > 0 && k != kept_files)); then
            failed=1
            kept_lost=$((kept_lost + kept_files - k))
            echo "after kill $i of $command: $k of the $kept_files prepared files are left" >&2
        fi
        find "$inbox" -mindepth 1 -delete
    done
    printf '%-14s %5d %6d %8d %8d %9d %6d %6d %10d %12d %9d\n' "$command" "$kills" "$nodes" "$rows_only" \
        "$files_only" "$leftovers" "$finished" "$undone" "$unresolved" "$trash_faults" "$kept_lost"
done

# Journals a store from elsewhere may hold, each kind in turn: every entry refused, nothing
# carried out, nothing said to be done, no file inside or outside the Home Directory touched.
printf '%-14s %5s %7s %6s %10s %7s %9s\n' command rounds refused done unresolved touched discarded
hostile_program="$work/hostile/program"
"$driver" prepare "$hostile_program" "$work/hostile/home"
rounds=$((kills < 11 ? 11 : kills))
refused=0 done=0 unresolved=0 touched=0 discarded=0
for ((i = 0; i < rounds; i++)); do
    # Every kind in turn, aimed at a catalog picked at random.
    if ! line=$("$driver" hostile "$hostile_program" "$work/outside" $((i % 11 + 11 * RANDOM)) 2>"$work/hostile.err"); then
        failed=1
        echo "hostile journal round $((i + 1)): $line" >&2
        cat "$work/hostile.err" >&2
    fi
    read -r _ _ _ r _ d _ u _ t _ _ _ x <<<"$line"
    refused=$((refused + r)) done=$((done + d)) unresolved=$((unresolved + u)) touched=$((touched + t))
    discarded=$((discarded + x))
done
printf '%-14s %5d %7d %6d %10d %7d %9d\n' hostile-journal "$rounds" "$refused" "$done" "$unresolved" "$touched" \
    "$discarded"

printf '%-14s %5s %6s %6s %8s %11s %6s %6s %10s\n' command kills aimed losing lost-files files-in-A done undone \
    unresolved
if [[ $(id -u) != 0 ]] || ! unshare -m --propagation private true 2>/dev/null; then
    printf '%-14s skipped: needs root and a mount namespace (unshare -m) for a small file system\n' home-move-back
elif ! unshare -m --propagation private "$BASH" "$0" --rollback-inside "$driver" "$kills" "$work"; then
    failed=1
fi
exit "$failed"
