#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the save against the floor of copying the file (cat, and cat + sync, which flushes the
# copy to disk as the save's commit does) and against GNU sed doing the same rewrite, on a ~200 MB
# and a 1 MB CR LF strength file, and measures the save's peak memory. cat (coreutils 9) copies
# inside the kernel (copy_file_range), its bytes never reach a program's memory; dd reading into
# its own buffer and writing from it, with the same sync, is the floor of any program that looks
# at the bytes ("copy": dd bs=1M + fdatasync), and the save's CPU is set against it on both inputs
# below. The save's start as a program (loading Qt, about as much CPU as 15 MB of saving) is timed
# on an empty file and left out of the "engine" figures. Each timing is split into
# CPU time and time spent waiting, which for the save and cat + sync is the flush to disk. A
# second input of shorter lines (~150 MB, lines of 20 to 90 bytes, one in eight a strength line,
# an hour old) shows a cost per line that long lines hide.
#
# A file changed less than three seconds before a save is read a second time at its end (its
# time stamps could not show a change within their tick): the inputs are timed once they are
# older than that, and the large one once more just after a change, as a freshly made file is
# saved ("fresh").
#
#   BUILD_DIR=build bash bench/compare.sh
#
# BUILD_DIR (default: build in the repository root) must hold a built bench/headless_save.
# Peak memory needs GNU time (/usr/bin/time, Debian package "time"). Ends with key=value lines.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
headless=$build/bench/headless_save
window=$build/bench/window_save
require_built "$headless" headless_save
if [[ ! -x /usr/bin/time ]]; then
    echo "/usr/bin/time missing: apt-get install time" >&2
    exit 1
fi

large_mb=${LARGE_MB:-200}
short_mb=${SHORT_MB:-150}
start_index=7
max_index=9

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- input files -------------------------------------------------------------------------------

small=$work/small_sp.cfg
large=$work/large_sp.cfg
short=$work/short_sp.cfg
strength_lines 1048576 > "$small"
for ((i = 0; i < large_mb; i++)); do cat "$small"; done > "$large"
short_strength_lines 1048576 > "$work/short_block"
for ((i = 0; i < short_mb; i++)); do cat "$work/short_block"; done > "$short"
touch -d '1 hour ago' "$short"

# settle <file...>: waits until the files' last change (their change time, which no one can set
# back, counts as much as the modification time) is more than three seconds past.
settle() {
    local newest
    newest=$(stat -c %Z "$@" | sort -n | tail -n 1)
    while (($(date +%s) - newest <= 4)); do sleep 1; done
}

# --- sed with the same rule ----------------------------------------------------------------------

rewrite_sed_script "$start_index" "$max_index" > "$work/rewrite.sed"

# --- timing --------------------------------------------------------------------------------------

# best_of_3 <output> <command...>: the fastest of three runs as "wall user sys", in seconds;
# user and sys are the CPU time of the command and its children, the rest of the wall time is
# spent waiting (for the disk, mostly). Each run starts without the output of an earlier one:
# the save replaces its output by a rename and cat truncates its own, and either would otherwise
# pay for freeing the old 200 MB inside its timing. The removal, and a sync that lets the disk
# settle, come before the clock starts; so does the command in `before_run`, when set.
before_run=()
best_of_3() {
    local output=$1 best="" run
    shift
    for _ in 1 2 3; do
        rm -f "$output"
        ((${#before_run[@]} == 0)) || "${before_run[@]}"
        sync
        run=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" 2>&3; } 3>&2 2>&1 ) || exit 1
        if [[ -z $best ]] || awk -v t="${run%% *}" -v b="${best%% *}" 'BEGIN { exit !(t < b) }'
        then
            best=$run
        fi
    done
    echo "$best"
}

wall() { echo "${1%% *}"; }
cpu() { awk -v r="$1" 'BEGIN { split(r, f, " "); printf "%.3f", f[2] + f[3] }'; }
waited() { awk -v r="$1" 'BEGIN { split(r, f, " "); w = f[1] - f[2] - f[3]; printf "%.3f", (w > 0 ? w : 0) }'; }

run_cat() { cat "$1" > "$1.cat"; }
# The save flushes its file to disk (fdatasync) before the rename, and the folder after it;
# this is the copy floor with the same flush.
run_cat_sync() { cat "$1" > "$1.cat" && sync "$1.cat"; }
run_copy_sync() { dd if="$1" of="$1.cat" bs=1M conv=fdatasync status=none; }
run_sed() { sed -E -f "$work/rewrite.sed" "$1" > "$1.sed"; }
run_save() {
    if ! "$headless" "$1" "$start_index" "$max_index" > "$work/save.log"; then
        echo "headless_save failed:" >&2
        cat "$work/save.log" >&2
        exit 1
    fi
}

# The same save through the real window (offscreen): the time from the click on Save to the
# message, as the program itself measures it, best of 3.
window_best_of_3() {
    local best="" run
    for _ in 1 2 3; do
        rm -f "$1.new"
        sync
        run=$(QT_QPA_PLATFORM=offscreen "$window" "$1" "$start_index" "$max_index" 2>/dev/null |
              awk -F= '/^window_s=/ { print $2 }') || exit 1
        [[ -n $run ]] || { echo "window_save failed" >&2; exit 1; }
        if [[ -z $best ]] || awk -v t="$run" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$run
        fi
    done
    echo "$best"
}


peak_rss_kib() {
    /usr/bin/time -v "$headless" "$1" "$start_index" "$max_index" 2>&1 >/dev/null |
        awk -F': *' '/Maximum resident set size/ { print $2 }'
}

# A 1 GiB file without any line end: one line, which must stream through in pieces.
long_line_rss() {
    local one=$work/one_sp.cfg
    truncate -s 1G "$one"
    peak_rss_kib "$one"
    rm -f "$one" "$one.new"
}

cat "$large" "$short" > /dev/null # into the page cache before the first timing
settle "$small" "$large" "$short"

show() { printf '  %-16s %6s s wall  %6s s CPU  %6s s waiting\n' "$1" "$(wall "$2")" "$(cpu "$2")" "$(waited "$2")"; }

echo "files: $(stat -c %s "$small") bytes (small), $(stat -c %s "$large") bytes (large)," \
    "$(stat -c %s "$short") bytes (short lines)"
echo "timing the large file, best of 3 each, every run without an earlier output..."
cat_run=$(best_of_3 "$large.cat" run_cat "$large")
show "cat > out:" "$cat_run"
cat_sync_run=$(best_of_3 "$large.cat" run_cat_sync "$large")
show "cat + sync:" "$cat_sync_run"
copy_sync_run=$(best_of_3 "$large.cat" run_copy_sync "$large")
show "dd + fdatasync:" "$copy_sync_run"
sed_run=$(best_of_3 "$large.sed" run_sed "$large")
show "sed -E:" "$sed_run"
save_run=$(best_of_3 "$large.new" run_save "$large")
show "headless_save:" "$save_run"
echo "  (save's own report: $(tr '\n' ' ' < "$work/save.log"))"
# The save writes more than it reads where strength lines grow: the disk's share of its wall
# time is that of cat + sync of its own output.
output_sync_run=$(best_of_3 "$large.new.cat" run_cat_sync "$large.new")
rm -f "$large.new.cat"
show "cat out + sync:" "$output_sync_run"
empty=$work/empty_sp.cfg
: > "$empty"
touch -d '1 hour ago' "$empty"
start_run=$(best_of_3 "$empty.new" run_save "$empty")
show "empty file:" "$start_run"
# The window writes the same output; the comparison with sed below checks its copy.
window_s=$(window_best_of_3 "$large")
printf '  %-16s %6s s from the click on Save to the message\n' "window:" "$window_s"

echo "timing the file of short lines, best of 3 each..."
short_cat_sync_run=$(best_of_3 "$short.cat" run_cat_sync "$short")
show "cat + sync:" "$short_cat_sync_run"
short_copy_sync_run=$(best_of_3 "$short.cat" run_copy_sync "$short")
show "dd + fdatasync:" "$short_copy_sync_run"
short_save_run=$(best_of_3 "$short.new" run_save "$short")
show "headless_save:" "$short_save_run"

run_sed "$small"
run_save "$small"
run_sed "$short"
identical=yes
cmp -s "$large.sed" "$large.new" || identical=no
cmp -s "$small.sed" "$small.new" || identical=no
cmp -s "$short.sed" "$short.new" || identical=no

rss_small_kib=$(peak_rss_kib "$small")
rss_large_kib=$(peak_rss_kib "$large")
long_line_rss_kib=$(long_line_rss)
lines=$(wc -l < "$large")
short_lines=$(wc -l < "$short")

# Last, as it leaves the large file freshly changed.
echo "timing the large file just after a change (read twice), best of 3..."
before_run=(touch "$large")
fresh_run=$(best_of_3 "$large.new" run_save "$large")
before_run=()
show "headless_save:" "$fresh_run"

cat_s=$(wall "$cat_run")
cat_sync_s=$(wall "$cat_sync_run")
sed_s=$(wall "$sed_run")
save_s=$(wall "$save_run")
cat_cpu_s=$(cpu "$cat_run")
save_cpu_s=$(cpu "$save_run")
save_over_cat=$(ratio "$save_s" "$cat_s")
save_over_cat_sync=$(ratio "$save_s" "$cat_sync_s")
output_growth=$(ratio "$(stat -c %s "$large.new")" "$(stat -c %s "$large")")
save_over_output_sync=$(ratio "$save_s" "$(wall "$output_sync_run")")
save_cpu_over_cat_cpu=$(ratio "$save_cpu_s" "$cat_cpu_s")
sed_over_save=$(ratio "$sed_s" "$save_s")
window_over_save=$(ratio "$window_s" "$save_s")
rss_growth_kib=$((rss_large_kib - rss_small_kib))
ns_per_line() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.1f", s * 1e9 / n }'; }
cpu_ns_per_line=$(ns_per_line "$save_cpu_s" "$lines")
cat_sync_cpu_s=$(cpu "$cat_sync_run")
save_cpu_over_cat_sync_cpu=$(ratio "$save_cpu_s" "$cat_sync_cpu_s")
copy_sync_cpu_s=$(cpu "$copy_sync_run")
save_cpu_over_copy_cpu=$(ratio "$save_cpu_s" "$copy_sync_cpu_s")
start_cpu_s=$(cpu "$start_run")
engine_cpu_s=$(awk -v a="$save_cpu_s" -v b="$start_cpu_s" 'BEGIN { printf "%.3f", a - b }')
engine_cpu_over_copy_cpu=$(ratio "$engine_cpu_s" "$copy_sync_cpu_s")
engine_cpu_ns_per_line=$(ns_per_line "$engine_cpu_s" "$lines")
# against_copy <prefix> <cat + sync run> <save run> <lines> <dd + fdatasync run>: the save beside
# cat + sync and beside dd, as key=value lines whose keys start with the prefix.
against_copy() {
    local copy=$2 save=$3 dd_cpu engine_cpu
    dd_cpu=$(cpu "$5")
    engine_cpu=$(awk -v a="$(cpu "$save")" -v b="$start_cpu_s" 'BEGIN { printf "%.3f", a - b }')
    echo "$1cat_sync_s=$(wall "$copy")"
    echo "$1save_s=$(wall "$save")"
    echo "$1cat_sync_cpu_s=$(cpu "$copy")"
    echo "$1save_cpu_s=$(cpu "$save")"
    echo "$1save_over_cat_sync=$(ratio "$(wall "$save")" "$(wall "$copy")")"
    echo "$1save_cpu_over_cat_sync_cpu=$(ratio "$(cpu "$save")" "$(cpu "$copy")")"
    echo "$1cpu_ns_per_line=$(ns_per_line "$(cpu "$save")" "$4")"
    echo "$1copy_sync_cpu_s=$dd_cpu"
    echo "$1save_cpu_over_copy_cpu=$(ratio "$(cpu "$save")" "$dd_cpu")"
    echo "$1engine_cpu_over_copy_cpu=$(ratio "$engine_cpu" "$dd_cpu")"
    echo "$1engine_cpu_ns_per_line=$(ns_per_line "$engine_cpu" "$4")"
}
short_values=$(against_copy short_ "$short_cat_sync_run" "$short_save_run" "$short_lines" \
               "$short_copy_sync_run")
short() { sed -n "s/^short_$1=//p" <<< "$short_values"; }
fresh_save_s=$(wall "$fresh_run")
fresh_save_cpu_s=$(cpu "$fresh_run")
fresh_cpu_over_save_cpu=$(ratio "$fresh_save_cpu_s" "$save_cpu_s")
echo "save is ${save_over_cat}x cat, ${save_over_cat_sync}x cat + sync (target <= 1.3);" \
    "sed is ${sed_over_save}x the save (target >= 10)"
echo "  its output is ${output_growth}x the input: the save takes ${save_over_output_sync}x cat + sync" \
    "of its own output"
echo "CPU per line (user + system, the system's copying included): ${cpu_ns_per_line} ns" \
    "(target <= 20) over $lines lines; ${save_cpu_over_cat_sync_cpu}x the CPU of cat + sync"
echo "  against a copy through a program's memory (dd bs=1M + fdatasync): ${save_cpu_over_copy_cpu}x" \
    "(target <= 1.5); without the program's start (${start_cpu_s} s on an empty file)" \
    "${engine_cpu_over_copy_cpu}x, ${engine_cpu_ns_per_line} ns per line"
echo "short lines: the save's CPU is $(short save_cpu_over_cat_sync_cpu)x that of cat + sync" \
    "$(short cpu_ns_per_line) ns per line over $short_lines lines; its wall" \
    "time $(short save_over_cat_sync)x (target <= 1.0)"
echo "  against dd bs=1M + fdatasync: $(short save_cpu_over_copy_cpu)x (target <= 1.5); without" \
    "the program's start $(short engine_cpu_over_copy_cpu)x, $(short engine_cpu_ns_per_line) ns" \
    "per line"
echo "just changed, the large file is read a second time: ${fresh_cpu_over_save_cpu}x the CPU" \
    "of the save of a settled file"
echo "  cat leaves its copy in the page cache; the save waits until its output is on disk" \
    "(its commit), as cat + sync does: its waiting time is what that flush costs."
echo "  CPU alone the save takes ${save_cpu_over_cat_cpu}x cat's; beyond cat + sync it spends" \
    "$(awk -v a="$save_s" -v b="$cat_sync_s" 'BEGIN { printf "%.3f", a - b }') s on its" \
    "per-line work (splitting, rewriting, progress and events for every line)."
echo "the window takes ${window_over_save}x the headless save (target <= 1.5)"
echo "peak RSS ${rss_small_kib} KiB on 1 MB, ${rss_large_kib} KiB on ${large_mb} MB:" \
    "growth ${rss_growth_kib} KiB (target < 16384); ${long_line_rss_kib} KiB on 1 GiB without" \
    "a line end (target <= 26624)"
echo "output identical to sed's: $identical"

echo "cat_sync_s=$cat_sync_s"
echo "cat_s=$cat_s"
echo "sed_s=$sed_s"
echo "save_s=$save_s"
echo "save_over_output_sync=$save_over_output_sync"
echo "cat_cpu_s=$cat_cpu_s"
echo "cat_sync_cpu_s=$cat_sync_cpu_s"
echo "save_cpu_s=$save_cpu_s"
echo "save_cpu_over_cat_sync_cpu=$save_cpu_over_cat_sync_cpu"
echo "copy_sync_cpu_s=$copy_sync_cpu_s"
echo "save_cpu_over_copy_cpu=$save_cpu_over_copy_cpu"
echo "start_cpu_s=$start_cpu_s"
echo "engine_cpu_over_copy_cpu=$engine_cpu_over_copy_cpu"
echo "engine_cpu_ns_per_line=$engine_cpu_ns_per_line"
echo "save_over_cat=$save_over_cat"
echo "save_over_cat_sync=$save_over_cat_sync"
echo "save_cpu_over_cat_cpu=$save_cpu_over_cat_cpu"
echo "sed_over_save=$sed_over_save"
echo "rss_small_kib=$rss_small_kib"
echo "rss_large_kib=$rss_large_kib"
echo "long_line_rss_kib=$long_line_rss_kib"
echo "cpu_ns_per_line=$cpu_ns_per_line"
echo "window_s=$window_s"
echo "window_over_save=$window_over_save"
echo "$short_values"
echo "fresh_save_s=$fresh_save_s"
echo "fresh_save_cpu_s=$fresh_save_cpu_s"
echo "fresh_cpu_over_save_cpu=$fresh_cpu_over_save_cpu"
echo "identical=$identical"
