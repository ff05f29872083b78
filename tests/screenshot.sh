#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Looks at the program as a user would: starts it on a virtual display beside a few sample
# files, picks a file and both ratings with mouse and keyboard, saves, and takes a screenshot
# after each step. Needs xvfb, xdotool and imagemagick. Usage: tests/screenshot.sh [outdir]
# The Windows program under Wine: tests/windows/endtoend-exe.sh <outdir>.
set -euo pipefail
source "$(dirname "$0")/../.ci/lib.sh"
build=$(build_folder build)
out=$(realpath -m "${1:-screenshots}")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$build/app/kelvora-staerkeneditor" "$work/"
printf '01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\n' > "$work/alpha_sp1.cfg"
printf '02STRENGTH  1000\r\n' > "$work/beta_sp2.cfg"
printf 'nothing\r\n' > "$work/other.cfg"
mkdir "$work/Unterordner"

cat > "$work/drive.sh" <<'SCRIPT'
set -eu
out=$1
./kelvora-staerkeneditor &
app=$!
sleep 2
shot() { sleep 0.7; import -window root "$out/$1.png"; }
shot 1-start
xdotool mousemove 40 307 click 1            # the first file in the file list
shot 2-file-chosen
xdotool mousemove 350 165 click 1           # open the start list
sleep 0.5
for _ in 1 2 3 4 5 6 7; do xdotool key Down; done
xdotool key Return                          # "3.5 Sterne"
shot 3-start-rating
xdotool mousemove 350 293 click 1           # open the maximum list
sleep 0.5
for _ in 1 2 3 4 5 6 7 8 9 10 11; do xdotool key Up; done
xdotool key Return                          # below the start: pulled back up
shot 4-maximum-below-start
xdotool mousemove 250 375 click 1           # Speichern
shot 5-saved
xdotool key Return
shot 6-after-message
kill $app
SCRIPT
(cd "$work" && xvfb-run -a -s "-screen 0 420x440x24" bash drive.sh "$out")
echo "screenshots in $out; output file:"
od -c "$work/alpha_sp1.cfg.new" | head -8
