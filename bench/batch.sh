#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times kelvora-staerken over a folder of 1,000 strength files of about 200 KB (-j left at its
# default, one file per core) against GNU sed with the same rule over the same files, one sed
# per file as a shell loop runs it, and checks that both write the same bytes. Every .new of
# the companion is durable when it ends: each save syncs its file, and the folder's entries are
# synced once for all the files finished by then (at most every half second). sed's outputs are
# not synced; "sed + sync" adds one `sync` of all its outputs at the end, for comparison.
#
#   BUILD_DIR=build FILES=1000 FILE_KB=200 bash bench/batch.sh
#
# BUILD_DIR (default: build in the repository root) must hold a built cli/kelvora-staerken.
# Timings are the best of 3 runs, each without the outputs of an earlier one. Ends with
# key=value lines.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cli=$build/cli/kelvora-staerken
require_built "$cli" kelvora-staerken

files=${FILES:-1000}
file_kb=${FILE_KB:-200}
start_index=7 # 3.5 stars
max_index=9   # 4.5 stars

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
league=$work/league
mkdir "$league"

# Eight different files, copied round to make the folder: quick to make, and not all alike.
for seed in 1 2 3 4 5 6 7 8; do
    strength_lines $((file_kb * 1024)) "$seed" > "$work/seed$seed"
done
for ((i = 0; i < files; i++)); do
    cp "$work/seed$((i % 8 + 1))" "$(printf '%s/team%04d_sp.cfg' "$league" "$i")"
done
rewrite_sed_script "$start_index" "$max_index" > "$work/rewrite.sed"
cat "$league"/*_sp.cfg > /dev/null # into the page cache before the first timing

run_cli() { "$cli" -q --start 3.5 --max 4.5 "$league"; }
run_cli_one_at_a_time() { "$cli" -q -j 1 --start 3.5 --max 4.5 "$league"; }
# Four files per core: the saves mostly wait for their syncs, so more of them can overlap.
wide_jobs=$(($(nproc) * 4))
run_cli_wide() { "$cli" -q -j "$wide_jobs" --start 3.5 --max 4.5 "$league"; }
run_sed() {
    local file
    for file in "$league"/*_sp.cfg; do
        sed -E -f "$work/rewrite.sed" "$file" > "$file.sed"
    done
}
run_sed_sync() { run_sed && sync; }

# best_of_3 <command>: the fastest wall time of three runs, in seconds. The outputs of the run
# before are removed, and the disk left to settle, before the clock starts.
best_of_3() {
    local best="" run
    for _ in 1 2 3; do
        rm -f "$league"/*.new "$league"/*.sed
        sync
        run=$( { TIMEFORMAT='%3R'; time "$@" >/dev/null 2>&3; } 3>&2 2>&1 ) || {
            echo "$* failed" >&2
            exit 1
        }
        if [[ -z $best ]] || awk -v t="$run" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$run
        fi
    done
    echo "$best"
}

echo "$files files of $(stat -c %s "$work/seed1") bytes or so," \
    "$(du -sm "$league" | cut -f1) MB in all; $(nproc) cores"
cli_j1_s=$(best_of_3 run_cli_one_at_a_time)
cli_wide_s=$(best_of_3 run_cli_wide)
sed_sync_s=$(best_of_3 run_sed_sync)
sed_s=$(best_of_3 run_sed)
cli_s=$(best_of_3 run_cli) # last, so its outputs stay for the comparison
run_sed

identical=yes
for file in "$league"/*_sp.cfg; do
    cmp -s "$file.new" "$file.sed" || { identical=no; echo "differs: $file" >&2; }
done

sed_over_cli=$(ratio "$sed_s" "$cli_s")
sed_sync_over_cli=$(ratio "$sed_sync_s" "$cli_s")
printf '  %-34s %7s s\n' "kelvora-staerken (-j $(nproc)):" "$cli_s" \
    "kelvora-staerken -j 1:" "$cli_j1_s" "kelvora-staerken -j $wide_jobs:" "$cli_wide_s" "sed, one per file:" "$sed_s" \
    "sed, one per file, then sync:" "$sed_sync_s"
echo "sed takes ${sed_over_cli}x the companion (aim >= 3); with a sync at the end ${sed_sync_over_cli}x."
echo "  Every .new is on disk when the companion ends: each save syncs its file (fdatasync), and"
echo "  the folder (fsync) is synced once for the files finished by then, at most every half"
echo "  second, before they are reported saved. sed's outputs may still sit in the page cache;"
echo "  its sync at the end writes them all in one go, without a sync per file."
echo "outputs identical to sed's: $identical"

echo "files=$files"
echo "cli_s=$cli_s"
echo "cli_j1_s=$cli_j1_s"
echo "cli_wide_s=$cli_wide_s"
echo "sed_s=$sed_s"
echo "sed_sync_s=$sed_sync_s"
echo "sed_over_cli=$sed_over_cli"
echo "sed_sync_over_cli=$sed_sync_over_cli"
echo "identical=$identical"
