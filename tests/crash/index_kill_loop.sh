#!/usr/bin/env bash
# Kills marrowdex-search while it brings the content index of a knowledge base up to date, at
# random moments, again and again, and checks after each kill that the index is whole (SQLite's and
# FTS5's checks, every text with its terms, every query finding what a plain scan of the texts
# finds), that no document already indexed was lost (the next run goes on where the last stopped),
# and that nothing in the store or the Home Directory changed. Last, one run to the end must index
# every document.
#   tests/crash/index_kill_loop.sh DRIVER SEARCH_TOOL EXTRACT_WORKER [KILLS]     (default 25)
# Prints one line of counts and exits 1 when any check failed.
set -euo pipefail

driver=${1:?usage: index_kill_loop.sh DRIVER SEARCH_TOOL EXTRACT_WORKER [KILLS]}
search=${2:?}
export MARROWDEX_EXTRACT=${3:?}
kills=${4:-25}
documents=${INDEX_KILL_DOCUMENTS:-500}
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-index-kills-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$driver" prepare "$work" "$documents"

# The store's bytes, and every file and folder of the Home Directory with its size, time, inode
# and content.
fingerprint() {
    sha256sum <"$work/mymwdx.db"
    (cd "$work/home" && find . -printf '%p %s %T@ %i %m\n' | sort && find . -type f -exec sha256sum {} + | sort) |
        sha256sum
}
before=$(fingerprint)

# How long a whole run takes here, so the kills land anywhere in it.
probe_start=$(date +%s%N)
"$search" "$work/mymwdx.db" river >/dev/null 2>&1 || true
whole_ms=$((($(date +%s%N) - probe_start) / 1000000))
rm -f "$work"/mymwdx_text.db*
((whole_ms > 50)) || whole_ms=50

failed=0 previous=0 landed=0 first=-1
for ((i = 1; i <= kills; i++)); do
    "$search" "$work/mymwdx.db" river >/dev/null 2>&1 &
    pid=$!
    # Anywhere in the first half of a whole run: each kill finds work left by the last.
    delay=$((RANDOM * 32768 + RANDOM))
    delay=$((delay % (whole_ms / 2 + 1)))
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    if kill -KILL "$pid" 2>/dev/null; then
        landed=$((landed + 1))
        restarted=0
    else
        restarted=1
    fi
    wait "$pid" 2>/dev/null || true
    if ! line=$("$driver" check "$work" 2>"$work/check.err"); then
        failed=1
        echo "after kill $i:" >&2
        cat "$work/check.err" >&2
        continue
    fi
    read -r _ indexed _ _ <<<"$line"
    ((first >= 0)) || first=$indexed
    if ((indexed < previous)); then
        failed=1
        echo "after kill $i the index knows $indexed documents, $previous before: work was lost" >&2
    fi
    previous=$indexed
    if [[ $(fingerprint) != "$before" ]]; then
        failed=1
        echo "after kill $i the store or the Home Directory changed" >&2
    fi
    if ((restarted)); then
        # The run ended before the kill: the index is thrown away, as a user may, to be made again.
        rm -f "$work"/mymwdx_text.db*
        previous=0
    fi
done

"$search" "$work/mymwdx.db" river >/dev/null 2>"$work/last.err" || { failed=1; cat "$work/last.err" >&2; }
line=$("$driver" check "$work") || failed=1
read -r _ indexed _ texts <<<"$line"
if ((indexed != documents)); then
    failed=1
    echo "after a whole run the index knows $indexed of $documents documents" >&2
fi
if [[ $(fingerprint) != "$before" ]]; then
    failed=1
    echo "the store or the Home Directory changed" >&2
fi
printf '%-14s %5s %6s %9s %12s %6s\n' command kills landed documents after-first texts
printf '%-14s %5d %6d %9d %12d %6d\n' index "$kills" "$landed" "$documents" "$first" "$texts"
((failed == 0 && landed > 0))
