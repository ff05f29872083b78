#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program of the build under `wine` in the project's prefix, with Qt's DLLs and
# the MinGW runtime on its PATH. CTest runs every Windows test through it (the build's
# CMAKE_CROSSCOMPILING_EMULATOR). Wine hands a variable WINEQT_X=v to the program as QT_X=v:
# it drops the QT_ ones, which are meant for Linux programs.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_wine_prefix
WINEPATH=$(windows_path "$(qt_prefix)/bin")
while read -r dir; do WINEPATH+=";$(windows_path "$dir")"; done < <(mingw_runtime_dirs)
export WINEPATH
# Qt writes its messages (and QtTest its report) to stderr rather than the debugger.
export WINEQT_FORCE_STDERR_LOGGING=1
exec wine "$@"
