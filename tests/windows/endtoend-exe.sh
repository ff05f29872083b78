#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program as a user gets it, driven with the keyboard under Wine on a virtual
# display, beside a strength file in its own folder: the file, both ratings and Save are chosen
# with keys, the message box is answered, and the `.new` must equal byte for byte what the Linux
# build's headless save writes for the same file and ratings; the command-line companion beside
# it must write the same bytes.
#
#   tests/windows/endtoend-exe.sh [--msi] [screenshot folder]
#
# Without --msi the program comes from the zip, unpacked into a fresh folder, and is then started
# with a file on another drive, in the \\.\ and the \\?\ form, and saved with the same keys,
# and with /? for its help. With --msi the
# older-version build of the installer is installed and then the real one over it (which must
# replace it) with `msiexec /i … /qn`; the program starts from its Start-menu shortcut, and
# `msiexec /x … /qn` must leave the user's files and registry as they were before.
# With a folder argument it also writes a screenshot after each step there.
# Needs build-windows/ (packaging/windows/build.sh) and the Linux build's bench/headless_save
# (BUILD_DIR, default build/).
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
if [[ -z ${KELVORA_ON_XVFB:-} ]]; then
    ensure_packages xvfb xauth xdotool imagemagick unzip
    ensure_wine_prefix
    KELVORA_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 640x480x24" "$0" "$@"
fi
mode=zip
if [[ ${1:-} == --msi ]]; then
    mode=msi
    shift
fi
shots=${1:+$(realpath -m "$1")}

headless_save=$(build_folder build)/bench/headless_save
[[ -x $headless_save ]] || { echo "endtoend-exe: $headless_save missing (build the Linux tree first)" >&2; exit 1; }
package=$(ls "$kelvora_root"/build-windows/kelvora-staerkeneditor-*-win64.zip)
package=${package%.zip}
staged=$kelvora_root/build-windows/zip/$(basename "$package")
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work" "$WINEPREFIX/dosdevices/k:"' EXIT

# Every line end the save knows, high and NUL bytes, and no terminator at the end.
printf '[Team]\r\n01STRENGTH  3000\r\n01MAXSTRENGTH   8000\n02STRENGTH 1\r02MAXSTRENGTH\r\n\xe4\xf6\xfc\x00\xff\r\n\r\nende' \
    > "$work/original"
mkdir "$work/linux"
cp "$work/original" "$work/linux/team_sp3.cfg"
"$headless_save" "$work/linux/team_sp3.cfg" 5 8 > /dev/null

# ---- The program's folder and how it starts -----------------------------------------------
unix_path() { winepath -u "$(wine cmd /c echo "$1" | tr -d '\r')" 2>/dev/null; }
if [[ $mode == zip ]]; then
    # A name with a space and an umlaut, so the folder the zip lands in is not a plain one.
    mkdir "$work/Mein Ordner ä"
    unzip -q "$package.zip" -d "$work/Mein Ordner ä"
    program=$(echo "$work/Mein Ordner ä"/kelvora-staerkeneditor-*-win64)
    start_program() { (cd "$program" && exec wine kelvora-staerkeneditor.exe); }
else
    program="$(unix_path "%LOCALAPPDATA%")/Programs/Kelvora Stärkeneditor"
    shortcut="$(unix_path "%APPDATA%")/Microsoft/Windows/Start Menu/Programs"
    shortcut+="/Kelvora Stärkeneditor.lnk"
    # Wine's shell now and then answers a first start through a link with "Internal error" at
    # once; a user would click again, and so does this.
    start_program() {
        local try
        for try in 1 2 3; do
            wine start /wait /unix "$shortcut" && return 0
            echo "endtoend-exe: starting through the shortcut failed (try $try)" >&2
            sleep 2
        done
        return 1
    }
    uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    # reg writes in the console's OEM code page; 850 reads its umlauts as 437 would.
    registry() { wine reg query "$@" /s | tr -d '\r' | iconv -f CP850 -t UTF-8; }
    # The user's files and registry and the programs' uninstall entries. Left aside: Wine's own
    # temporary files and keys, and Windows Installer's own folders and empty keys, which every
    # Windows has.
    user_state() {
        find "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/windows" -path '*/Temp' -prune \
            -o ! -name Installer -print | LC_ALL=C sort
        { registry 'HKCU\Software'; registry "$uninstall"; } \
            | awk '/^HKEY_/ { wine = index($0, "HKEY_CURRENT_USER\\Software\\Wine") == 1 } !wine' \
            | grep -vE '^$|\\Microsoft\\Installer(\\(Features|Products|UpgradeCodes))?$'
    }
    # A run stopped half-way leaves its installation behind; it goes first.
    wine msiexec /x "$(windows_path "$package.msi")" /qn 2>/dev/null || true
    # Windows' folder for per-user programs, there as on any Windows where one was installed:
    # shared, it must still be there, empty, after the removal.
    mkdir -p "$(unix_path "%LOCALAPPDATA%")/Programs"
    user_state > "$work/state-before"
    "$kelvora_root/packaging/windows/msi.sh" "$staged" 0.0.1 "$work/older.msi"
    wine msiexec /i "$(windows_path "$work/older.msi")" /qn
    wine msiexec /i "$(windows_path "$package.msi")" /qn
    # Both programs and every file of the zip, byte for byte.
    diff -r "$staged" "$program"
    # One entry under "Apps", the older version's gone, with the version and the publisher.
    (($(registry "$uninstall" | grep -c 'DisplayName *REG_SZ *Kelvora Stärkeneditor$') == 1))
    product=$(msiinfo export "$package.msi" Property | tr -d '\r' \
        | awk '$1 == "ProductCode" { print $2 }')
    entry=$(registry "$uninstall\\$product")
    version=${package##*-staerkeneditor-}
    grep -q "DisplayVersion *REG_SZ *${version%-win64}\$" <<<"$entry"
    grep -q 'Publisher *REG_SZ *Kelvora$' <<<"$entry"
    # Its size, from ARPSIZE: "Apps" shows the Uninstall key's EstimatedSize (kilobytes). Where
    # the installer wrote the property only as a text value "Size" (Wine's msi), that alone is
    # passed over, and said.
    size_kb=$(msiinfo export "$package.msi" Property | tr -d '\r' | awk '$1 == "ARPSIZE" { print $2 }')
    ((size_kb > 1000))
    if ! grep -qi "EstimatedSize *REG_DWORD *$(printf '0x%x' "$size_kb")\$" <<<"$entry"; then
        grep -q "Size *REG_SZ *$size_kb\$" <<<"$entry"
        echo "endtoend-exe: the installer wrote ARPSIZE as Size, not as EstimatedSize: not checked"
    fi
    # The shortcut names the installed program and has an icon (link flag HasIconLocation); it
    # starts the program below.
    target="$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')\\Programs\\Kelvora Stärkeneditor"
    iconv -c -f CP1252 -t UTF-8 "$shortcut" | grep -aF "$target\\kelvora-staerkeneditor.exe" > /dev/null
    (($(od -An -tu4 -j20 -N4 "$shortcut") & 0x40))
fi
cp "$work/original" "$program/team_sp3.cfg"

# ---- The keyboard save ------------------------------------------------------------------------
shot() {
    [[ -n $shots ]] || return 0
    mkdir -p "$shots"
    sleep 0.7
    import -window root "$shots/$mode-$1.png"
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

# The program started in the background (its process id given), saved as a user does; the
# folder shown holds the one file.
keyboard_save() {
    window '^Kelvora St' > /dev/null
    sleep 2
    shot 1-start
    keys Tab Tab Down                   # into the folder list, on to the file list: the file
    shot 2-file-chosen
    keys Tab Down Down Down Down Down   # start rating: "2.5 Sterne"
    shot 3-start-rating
    keys Tab Down Down Down             # maximum, pulled up to the start, then "4.0 Sterne"
    shot 4-maximum-rating
    keys Tab space                      # Speichern
    window '^Speichern$' > /dev/null
    shot 5-saved
    keys Return
    shot 6-after-message
    keys ctrl+q                         # "Ende"
    timeout 30 tail --pid="$1" -f /dev/null
}

start_program &
keyboard_save $!

cmp "$program/team_sp3.cfg" "$work/original"
cmp "$program/team_sp3.cfg.new" "$work/linux/team_sp3.cfg.new"
echo "endtoend-exe: the Windows program ($mode) wrote $(stat -c %s "$program/team_sp3.cfg.new") bytes, identical to the Linux save"
cp "$work/original" "$program/companion_sp3.cfg"
# From its folder: Wine would read a path argument's umlaut in the locale's encoding.
(cd "$program" && wine kelvora-staerken.exe -q --start 2,5 --max 4 companion_sp3.cfg)
cmp "$program/companion_sp3.cfg.new" "$work/linux/team_sp3.cfg.new"
echo "endtoend-exe: kelvora-staerken.exe ($mode) wrote the same bytes"

# ---- Paths given to the window ---------------------------------------------------------------
# Taken as the companion takes them: a file on another drive (a drive letter mapped as a user
# maps a share), the \\.\ form normalised as Windows normalises it, the \\?\ form as it is;
# each chooses its file, which the same keys save.
if [[ $mode == zip ]]; then
    drive=$WINEPREFIX/dosdevices/k:
    mkdir "$work/drive-k"
    ln -sfn "$work/drive-k" "$drive"
    for given in 'K:\row_sp3.cfg' '\\.\K:\fehlt\..\row_sp3.cfg' '\\?\K:\row_sp3.cfg'; do
        rm -f "$work/drive-k/row_sp3.cfg.new"
        cp "$work/original" "$work/drive-k/row_sp3.cfg"
        (cd "$program" && exec wine kelvora-staerkeneditor.exe "$given") &
        keyboard_save $!
        cmp "$work/drive-k/row_sp3.cfg" "$work/original"
        cmp "$work/drive-k/row_sp3.cfg.new" "$work/linux/team_sp3.cfg.new"
        echo "endtoend-exe: the window given $given saved the same bytes"
    done
    rm "$drive"
    # "/?" asks for the help, as the companion takes it.
    (cd "$program" && wine kelvora-staerkeneditor.exe '/?') | tr -d '\r' \
        | grep -q '^Aufruf: kelvora-staerkeneditor \[ORDNER|DATEI\]$'
    echo "endtoend-exe: the window given /? showed its help"
fi

if [[ $mode == msi ]]; then
    # The user's own files stay (Windows Installer leaves what it did not install); ours go.
    rm "$program"/team_sp3.cfg* "$program"/companion_sp3.cfg*
    # Once every program of the prefix has ended, as a user closes it before removing it: a file
    # still in use would stay behind.
    timeout 60 wineserver -w
    wine msiexec /x "$(windows_path "$package.msi")" /qn
    user_state > "$work/state-after"
    diff "$work/state-before" "$work/state-after"
    echo "endtoend-exe: installed over an older version and removed again without a trace"
fi
