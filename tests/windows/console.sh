#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# console.sh CONSOLECHECK COMPANION: saves a file with the companion in a console, as cmd.exe
# runs it: Wine gives a program a console only on a terminal, so it runs in a pseudo-terminal
# (script). kelvora_consolecheck says whether the companion left the console's code page and
# mode as they were and its screen without escape sequences or a piece of the progress bar.
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
printf '01STRENGTH  3000\r\n' > "$folder/a_sp.cfg"
script -qec "$(printf '%q ' "$kelvora_root/packaging/windows/wine.sh" "$1" "$(windows_path "$2")" \
    --start 1 --max 2 "$(windows_path "$folder/a_sp.cfg")")" /dev/null \
    | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tail -n 2
cmp -s "$folder/a_sp.cfg.new" <(printf '01STRENG%26s2000 \r\n' '')
