#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# console.sh CONSOLECHECK COMPANION: the companion in a console, as cmd.exe runs it. Wine gives a
# program a console only on a terminal, so each case runs in a pseudo-terminal (script).
#  - In the console (kelvora_consolecheck, code page 850): a save leaves the code page and the
#    console mode as they were and no escape or piece of the progress bar on the screen, and
#    names outside code page 850 show exactly (UTF-16 to the console); Ctrl+C pressed twice
#    ends the program with 130 and no progress line left.
#  - Redirected by cmd.exe after "chcp": a file or pipe gets the console's code page (850, 1252,
#    65001), characters it lacks as "?"; with --utf8, UTF-8. The pipe's reader is find.exe, which
#    passes the bytes on (Wine's findstr writes nothing).
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
export LC_ALL=C.UTF-8 # Wine reads the names made here ("Жук_sp.cfg") as UTF-8
check=$1
companion=$(windows_path "$2")
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
failed=0
in_console() {
    script -qec "$(printf '%q ' "$kelvora_root/packaging/windows/wine.sh" "$@")" /dev/null \
        | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tail -n 2
}
expect() { # name, then a command that must succeed
    local name=$1
    shift
    if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failed=1; fi
}

cd "$folder"
printf '01STRENGTH  3000\r\n' > a_sp.cfg
cp a_sp.cfg Жук_sp.cfg
cp a_sp.cfg Spieler_äöü_sp.cfg
mkdir Spieler_Ölzeug # no strength file in it: a note on standard error

expect "save in a console" in_console "$check" "$companion" --start 1 --max 2 \
    "$(windows_path a_sp.cfg)"
expect "save in a console: the .new" cmp -s a_sp.cfg.new <(printf '01STRENG%26s2000 \r\n' '')
export KELVORA_SCREEN_HAS="Жук_sp.cfg.new: Speichern erfolgreich"
expect "a name outside code page 850 shown in the console" \
    in_console "$check" "$companion" --start 1 --max 2 "$(windows_path Жук_sp.cfg)"
unset KELVORA_SCREEN_HAS

# Ctrl+C twice while saves of 150 MB files run: the second ends the program at once.
mkdir big
for i in 1 2 3 4; do
    (set +o pipefail; yes $'01STRENGTH  3000\r' | head -c 150000000 > "big/f${i}_sp.cfg")
done
export KELVORA_INTERRUPT_MS=1500
expect "Ctrl+C twice: status 130, no progress line left" \
    in_console "$check" "$companion" -j 4 --start 1 --max 2 "$(windows_path big)"
unset KELVORA_INTERRUPT_MS
rm -r big

# Redirected: the bytes of "ä", "ö", "ü" and "Ö", and of „ where the code page has it.
redirected() { # code page, extra option, expected name in out.txt, expected in err.txt
    printf '@chcp %s > nul\r\n@%s %s --show Spieler_* > out.txt 2> err.txt\r\n' "$1" \
        "$companion" "$2" > run.bat
    printf '@chcp %s > nul\r\n@%s %s --show Spieler_*_sp.cfg | find "Spieler" > pipe.txt\r\n' \
        "$1" "$companion" "$2" > pipe.bat
    in_console cmd /c run.bat > /dev/null
    in_console cmd /c pipe.bat > /dev/null
    expect "chcp $1 $2: file" grep -qaF "$3" out.txt
    expect "chcp $1 $2: error output" grep -qaF "$4" err.txt
    expect "chcp $1 $2: pipe" grep -qaF "$3" pipe.txt
}
redirected 850 '' $'Spieler_\x84\x94\x81_sp.cfg' $'Ordner ?Spieler_\x99lzeug?'
redirected 1252 '' $'Spieler_\xe4\xf6\xfc_sp.cfg' $'Ordner \x84Spieler_\xd6lzeug\x93'
redirected 65001 '' 'Spieler_äöü_sp.cfg' 'Ordner „Spieler_Ölzeug“'
redirected 850 --utf8 'Spieler_äöü_sp.cfg' 'Ordner „Spieler_Ölzeug“'
exit $failed
