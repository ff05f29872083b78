#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Windows build of the tests (build-windows/, from packaging/windows/build.sh) under
# Wine through CTest, which starts each test through packaging/windows/wine.sh. Arguments go to
# ctest.
set -euo pipefail
source "$(dirname "$0")/../../packaging/windows/common.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --test-dir "$kelvora_root/build-windows" --output-on-failure "$@"
