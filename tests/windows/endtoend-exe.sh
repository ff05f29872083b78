#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program from its zip, driven with the keyboard under Wine on a virtual display:
# unpacked into a fresh folder beside a strength file, it starts in its own folder; the file,
# both ratings and Save are chosen with keys, the message box is answered, and the `.new` must
# equal byte for byte what the Linux build's headless save writes for the same file and ratings.
# With a folder argument it also writes a screenshot after each step there.
# Needs build-windows/ (packaging/windows/build.sh) and the Linux build's bench/headless_save
# (BUILD_DIR, default build/).
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
shots=${1:+$(realpath -m "$1")}

if [[ -z ${KELVORA_ON_XVFB:-} ]]; then
    ensure_packages xvfb xauth xdotool imagemagick unzip
    ensure_wine_prefix
    KELVORA_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 640x480x24" "$0" "$@"
fi

headless_save=${BUILD_DIR:-$kelvora_root/build}/bench/headless_save
[[ -x $headless_save ]] || { echo "endtoend-exe: $headless_save missing (build the Linux tree first)" >&2; exit 1; }
zip=$(ls "$kelvora_root"/build-windows/kelvora-staerkeneditor-*-win64.zip)
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

# A name with a space and an umlaut, so the folder the zip lands in is not a plain one.
mkdir "$work/Mein Ordner ä" "$work/linux"
unzip -q "$zip" -d "$work/Mein Ordner ä"
program=$(echo "$work/Mein Ordner ä"/kelvora-staerkeneditor-*-win64)
# Every line end the save knows, high and NUL bytes, and no terminator at the end.
printf '[Team]\r\n01STRENGTH  3000\r\n01MAXSTRENGTH   8000\n02STRENGTH 1\r02MAXSTRENGTH\r\n\xe4\xf6\xfc\x00\xff\r\n\r\nende' \
    > "$program/team_sp3.cfg"
cp "$program/team_sp3.cfg" "$work/linux/"
cp "$program/team_sp3.cfg" "$work/original"

shot() {
    [[ -n $shots ]] || return 0
    mkdir -p "$shots"
    sleep 0.7
    import -window root "$shots/$1.png"
}
keys() { xdotool key --delay 120 "$@"; sleep 0.5; }
# The first visible window whose title matches, once it is there and has the keyboard focus.
window() {
    local id='' tries=0
    # Searching again each second: Wine's short-lived windows make one long search fail.
    while [[ -z $id ]] && ((tries++ < 60)); do
        sleep 1
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    done
    [[ -n $id ]] || { echo "endtoend-exe: no window titled '$1' within a minute" >&2; return 1; }
    timeout 10 xdotool windowfocus --sync "$id"
    echo "$id"
}

(cd "$program" && exec wine kelvora-staerkeneditor.exe) &
app=$!
window '^Kelvora St' > /dev/null
sleep 2
shot 1-start
keys Tab Tab Down                       # into the folder list, on to the file list: the file
shot 2-file-chosen
keys Tab Down Down Down Down Down       # start rating: "2.5 Sterne"
shot 3-start-rating
keys Tab Down Down Down                 # maximum, pulled up to the start, then "4.0 Sterne"
shot 4-maximum-rating
keys Tab space                          # Speichern
window '^Speichern$' > /dev/null
shot 5-saved
keys Return
shot 6-after-message
keys ctrl+q                             # "Ende"
timeout 30 tail --pid="$app" -f /dev/null

"$headless_save" "$work/linux/team_sp3.cfg" 5 8 > /dev/null
cmp "$program/team_sp3.cfg" "$work/original"
cmp "$program/team_sp3.cfg.new" "$work/linux/team_sp3.cfg.new"
echo "endtoend-exe: the Windows program wrote $(stat -c %s "$program/team_sp3.cfg.new") bytes, identical to the Linux save"
