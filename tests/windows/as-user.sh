#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program of the build under Wine as a user without privileges, so that access
# rights count: as root, Wine reads a folder whatever its rights say, as Linux does. Run as
# root, it makes the system user kelvora-wine, with a home and a Wine prefix of its own in
# build-windows/unprivileged/ and copies of Qt's DLLs there (root's cache is closed to others);
# run as anyone else, it runs the program as that user.
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
((EUID != 0)) && exec "$kelvora_root/packaging/windows/wine.sh" "$@"

user=kelvora-wine
id -u "$user" > /dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
home=$kelvora_root/build-windows/unprivileged
qt=$(qt_prefix)
user_qt=$home/.cache/kelvora/$(basename "$qt")
mkdir -p "$user_qt/bin"
cp -u "$qt"/bin/*.dll "$user_qt/bin/"
cp -ru "$qt/plugins" "$user_qt/"
chown -R "$user:" "$home"
# A checkout in a folder closed to others cannot be run from (CTest counts 77 as skipped).
runuser -u "$user" -- test -r "$1" || { echo "as-user: $user cannot reach $1" >&2; exit 77; }
status=0
runuser -u "$user" -- env -u KELVORA_CACHE -u XDG_CACHE_HOME HOME="$home" \
    KELVORA_WINEPREFIX="$home/wineprefix" "$kelvora_root/packaging/windows/wine.sh" "$@" || status=$?
# Wine does not let the owner of a folder that denies everyone allow it again, as Windows does:
# the tests' locked folders are left in the user's Temp.
rm -rf "$home/wineprefix/drive_c/users/$user/Temp/"*
exit $status
