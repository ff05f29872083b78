#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots for looking at the window's fonts at 96, 120 and 144 dots per inch: the Linux
# program on Xvfb (Xft.dpi), and the Windows program from the zip under Wine, there with the
# system's message font set to Tahoma 9 pt (Windows 10's Segoe UI 9 pt) and 11 pt (enlarged by
# "Text size"). Each run opens the start rating list with the keyboard, then the about box.
#
#   tests/screenshots-dpi.sh <folder>
#
# Needs build/ and build-windows/ (packaging/windows/build.sh); leaves the Wine prefix at
# 96 dpi with Wine's own message font.
set -euo pipefail
source "$(dirname "$0")/../packaging/windows/common.sh"
out=$(realpath -m "$1")
if [[ -z ${KELVORA_ON_XVFB:-} ]]; then
    ensure_packages xvfb xauth xdotool imagemagick unzip x11-xserver-utils
    ensure_wine_prefix
    mkdir -p "$out"
    KELVORA_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
printf '01STRENGTH  3000\r\n' > "$work/alpha_sp1.cfg"
unzip -q "$kelvora_root"/build-windows/kelvora-staerkeneditor-*-win64.zip -d "$work"
cp "$work/alpha_sp1.cfg" "$work"/kelvora-staerkeneditor-*-win64/
cp "$kelvora_root/build/app/kelvora-staerkeneditor" "$work/"

keys() { xdotool key --delay 150 "$@"; sleep 1; }
# Starts the program (its arguments), waits for its window, gives it the keyboard and takes the
# two pictures.
look() {
    local name=$1 app id='' tries=0
    shift
    "$@" &
    app=$!
    while [[ -z $id ]]; do
        ((tries++ < 60)) || { echo "screenshots: no window for $name" >&2; return 1; }
        sleep 1
        id=$(xdotool search --onlyvisible --name '^Kelvora St' 2>/dev/null | head -n 1) || true
    done
    timeout 10 xdotool windowfocus --sync "$id"
    sleep 2
    keys Tab Tab Tab alt+Down          # the start rating list, opened
    import -window root "$work/shot.png"
    convert "$work/shot.png" -trim +repage "$out/$name-list.png"
    keys Escape ctrl+i                 # the about box
    import -window root "$work/shot.png"
    convert "$work/shot.png" -trim +repage "$out/$name-about.png"
    keys Return ctrl+q
    timeout 30 tail --pid="$app" -f /dev/null || kill "$app"
}
# A LOGFONTW of Tahoma: height in 96-dpi pixels (negative: of the characters), normal weight.
message_font() {
    local height=$((-($1 * 96 + 36) / 72)) face
    face=$(printf 'Tahoma' | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n')
    printf '%08x' $((height & 0xffffffff)) | sed -E 's/(..)(..)(..)(..)/\4\3\2\1/'
    printf '%s' 0000000000000000 00000000 90010000 00000000 00000000
    printf '%-128s' "$face" | tr ' ' 0
}

for dpi in 96 120 144; do
    echo "Xft.dpi: $dpi" | xrdb -merge
    (cd "$work" && look "linux-${dpi}dpi" ./kelvora-staerkeneditor)
    for points in 9 11; do
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null
        wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY \
            /d "$(message_font "$points")" /f > /dev/null
        wineserver -w
        (cd "$work"/kelvora-staerkeneditor-*-win64 \
            && look "wine-${dpi}dpi-tahoma${points}" wine kelvora-staerkeneditor.exe)
    done
done
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f > /dev/null
wine reg delete 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /f > /dev/null
echo "screenshots in $out"
