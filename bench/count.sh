#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Counts what the programs do, not how long they take, so that another program beside them
# changes nothing: the instructions the save executes per line (valgrind's cachegrind counts
# every instruction of every thread), on the benchmark's strength lines and on short lines; its
# heap allocations (valgrind's memcheck); its peak memory (the largest resident set, GNU time) on a
# 64 MB file and on a 1 GiB file without a line end; the companion's instructions per line over a
# folder of files, one at a time; and the instructions of our window's first frame against the
# smallest Qt Widgets window's, on the offscreen platform. Each per-line figure leaves out the
# program's start: the same program on an empty file (or folder) is counted and subtracted.
# The inputs are fixed (the same seeds every run) and at rest when counted: the save reads a file
# changed within its time stamps' tick a second time.
#
#   BUILD_DIR=build bash bench/count.sh
#
# BUILD_DIR (default: build in the repository root) must hold bench/headless_save,
# cli/kelvora-staerken, bench/kelvora_firstframe and bench/minimal_window. Needs valgrind and
# /usr/bin/time. Ends with key=value lines; bench/guard.sh holds them to bench/reference.txt.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
headless=$build/bench/headless_save
cli=$build/cli/kelvora-staerken
ours=$build/bench/kelvora_firstframe
minimal=$build/bench/minimal_window
require_built "$headless" headless_save
require_built "$cli" kelvora-staerken
require_built "$ours" kelvora_firstframe
require_built "$minimal" minimal_window
for tool in valgrind /usr/bin/time; do
    command -v "$tool" > /dev/null || {
        echo "$tool missing: apt-get install ${tool##*/}" >&2
        exit 1
    }
done
start_index=7
max_index=9

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-count.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# under <tool> <valgrind option...> -- <command...>: the command under valgrind, valgrind's
# report on stdout; a failing command stops the script with its report.
under() {
    local options=()
    while [[ $1 != -- ]]; do options+=("$1"); shift; done
    shift
    if ! valgrind "${options[@]}" --log-file="$work/valgrind.log" "$@" > "$work/output" 2>&1; then
        echo "failed under valgrind: $*" >&2
        cat "$work/output" "$work/valgrind.log" >&2
        exit 1
    fi
    cat "$work/valgrind.log"
}
# instructions <command...>: the instructions it executes, in all of its threads.
instructions() {
    under --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null -- "$@" |
        awk '/ I +refs:/ { gsub(",", "", $NF); print $NF }'
}
# allocations <command...>: how many times it allocates from the heap.
allocations() {
    under --tool=memcheck --leak-check=no -- "$@" |
        awk '/total heap usage:/ { gsub(",", "", $5); print $5 }'
}
peak_rss_kib() {
    /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2>&1 || {
        echo "failed: $*" >&2
        exit 1
    }
    cat "$work/rss"
}
# per <count> <count at start> <lines>: what each line costs beyond the start.
per() { awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN { printf "%.1f", (a - b) / n }'; }
# Each count is assigned on its own, so that a command that fails stops the script.

# --- inputs ------------------------------------------------------------------------------------
long=$work/long_sp.cfg
short=$work/short_sp.cfg
empty=$work/empty_sp.cfg
strength_lines 4000000 42 > "$long"
short_strength_lines 4000000 7 > "$short"
: > "$empty"
for ((i = 0; i < 16; i++)); do cat "$long"; done > "$work/large_sp.cfg"
truncate -s 1G "$work/one_sp.cfg"
league=$work/league
mkdir "$league" "$work/noleague"
for seed in 1 2 3 4 5 6 7 8; do
    strength_lines 100000 "$seed" > "$league/team$seed"_sp.cfg
done

# --- the first frame, while the inputs come to rest -----------------------------------------------
ours_frame=$(QT_QPA_PLATFORM=offscreen instructions "$ours")
minimal_frame=$(QT_QPA_PLATFORM=offscreen instructions "$minimal")

# --- the companion and the save -------------------------------------------------------------------
settle "$long" "$short" "$empty" "$work/large_sp.cfg" "$league"/*_sp.cfg
companion=("$cli" -q -j 1 --start 3.5 --max 4.5)
batch_lines=$(cat "$league"/*_sp.cfg | wc -l)
batch=$(instructions "${companion[@]}" "$league")
batch_start=$(instructions "${companion[@]}" "$work/noleague")
ratings=("$start_index" "$max_index")
start=$(instructions "$headless" "$empty" "${ratings[@]}")
long_count=$(instructions "$headless" "$long" "${ratings[@]}")
short_count=$(instructions "$headless" "$short" "${ratings[@]}")
allocations_start=$(allocations "$headless" "$empty" "${ratings[@]}")
allocations_long=$(allocations "$headless" "$long" "${ratings[@]}")
rss_large_kib=$(peak_rss_kib "$headless" "$work/large_sp.cfg" "${ratings[@]}")
long_line_rss_kib=$(peak_rss_kib "$headless" "$work/one_sp.cfg" "${ratings[@]}")
rm -f "$work"/*.new

long_lines=$(wc -l < "$long")
short_lines=$(wc -l < "$short")
save_per_line=$(per "$long_count" "$start" "$long_lines")
short_per_line=$(per "$short_count" "$start" "$short_lines")
batch_per_line=$(per "$batch" "$batch_start" "$batch_lines")
# Beyond those of the start, whatever the file's length: a save allocates per save, not per line.
save_allocations=$((allocations_long - allocations_start))

echo "the save: $save_per_line instructions per line over $long_lines lines," \
    "$short_per_line over $short_lines short lines, beyond $start for its start;" \
    "$save_allocations heap allocations beyond its start's"
echo "  peak memory $rss_large_kib KiB on $(($(stat -c %s "$work/large_sp.cfg") / 1000000)) MB," \
    "$long_line_rss_kib KiB on 1 GiB without a line end"
echo "the companion: $batch_per_line instructions per line over $batch_lines lines in 8 files"
echo "first frame offscreen: $ours_frame instructions, the minimal window $minimal_frame"
echo "save_instructions_per_line=$save_per_line"
echo "save_short_instructions_per_line=$short_per_line"
echo "save_allocations=$save_allocations"
echo "save_rss_large_kib=$rss_large_kib"
echo "save_long_line_rss_kib=$long_line_rss_kib"
echo "batch_instructions_per_line=$batch_per_line"
echo "firstframe_instructions_over_minimal=$(ratio "$ours_frame" "$minimal_frame")"
