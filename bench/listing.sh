#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times refilling the file list and the folder list for a folder of 100,000 files (10,000 of
# them matching the strength file pattern) and 10,000 subfolders, against `ls -f` listing the
# same folder. Both lists read the whole folder, as ls -f does, then filter, sort and show it.
# "both lists" is opening that folder in the window: the folder list and the file list after it.
#
#   BUILD_DIR=build RUNS=9 bash bench/listing.sh
#
# BUILD_DIR (default: build in the repository root) must hold a built bench/listing. The folder
# is made once in TMPDIR, its files empty, and removed at the end. Ends with key=value lines.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
listing=$build/bench/listing
if [[ ! -x $listing ]]; then
    echo "no $listing: build it first (cmake --build $build --target listing)" >&2
    exit 1
fi
runs=${RUNS:-9}

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-listing.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen

folder=$work/large
echo "making $folder..."
"$listing" create "$folder"


# One ls -f in ms, from the shell's clock right before it starts to right after it ends.
ls_ms() {
    local start end
    start=$EPOCHREALTIME
    ls -f "$folder" >/dev/null
    end=$EPOCHREALTIME
    awk -v s="${start/,/.}" -v e="${end/,/.}" 'BEGIN { printf "%.2f\n", (e - s) * 1000 }'
}

entries=$(find "$folder" -mindepth 1 -maxdepth 1 -printf . | wc -c)
echo "entries: $entries (ls -f lists them unsorted, without looking at any of them)"
ls_ms >/dev/null # the folder into the caches
ls_runs=$(for ((i = 0; i < runs; i++)); do ls_ms; done)
ls_median=$(median <<<"$ls_runs")
echo "ls -f:      median $ls_median ms of $runs runs ($(sort -n <<<"$ls_runs" | tr '\n' ' '))"

out=$("$listing" time "$folder" "$runs" 2>"$work/stderr") || {
    echo "listing failed:" >&2
    cat "$work/stderr" >&2
    exit 1
}
value() { awk -F= -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
filelist_ms=$(value filelist_ms)
folderlist_ms=$(value folderlist_ms)
filelist_over_ls=$(ratio "$filelist_ms" "$ls_median")
folderlist_over_ls=$(ratio "$folderlist_ms" "$ls_median")
echo "file list:  median $filelist_ms ms until shown ($(value filelist_call_ms) ms in setFolder):" \
    "${filelist_over_ls}x ls -f (target <= 10)"
echo "folder list: median $folderlist_ms ms until shown ($(value folderlist_call_ms) ms in setPath):" \
    "${folderlist_over_ls}x ls -f (target <= 10)"

bothlists_ms=$(value bothlists_ms)
bothlists_over_ls=$(ratio "$bothlists_ms" "$ls_median")
echo "both lists: median $bothlists_ms ms until shown ($(value bothlists_call_ms) ms in setPath):" \
    "${bothlists_over_ls}x ls -f"

echo "entries=$entries"
echo "ls_ms=$ls_median"
echo "filelist_call_ms=$(value filelist_call_ms)"
echo "filelist_ms=$filelist_ms"
echo "folderlist_call_ms=$(value folderlist_call_ms)"
echo "folderlist_ms=$folderlist_ms"
echo "bothlists_call_ms=$(value bothlists_call_ms)"
echo "bothlists_ms=$bothlists_ms"
echo "filelist_over_ls=$filelist_over_ls"
echo "folderlist_over_ls=$folderlist_over_ls"
echo "bothlists_over_ls=$bothlists_over_ls"
