#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb, the Windows zip and the installer a second time from the same commit, in other
# build folders (programs only), and compares them byte for byte with those of the first builds,
# build/ and build-windows/, which must be there. The second program tree is configured and
# compiled as the README's run command does it, without SOURCE_DATE_EPOCH, while build/ is
# .ci/test's, with it: how the program was built, and by whom when, must not show in what is
# shipped. Packing the .deb, the zip and the installer takes SOURCE_DATE_EPOCH
# (packaging/windows/common.sh sets the last commit's), as a packager sets it. Neither build's
# folder may appear in what is shipped.
#
#   tests/reproducible.sh
set -euo pipefail
source "$(dirname "$0")/../packaging/windows/common.sh"
cd "$kelvora_root"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- The .deb -----------------------------------------------------------------------------------
build_programs() {
    cmake --build "$1" -j"$(nproc)" --target kelvora-staerkeneditor kelvora-staerken kelvora_docs \
        > /dev/null
}
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' build/CMakeCache.txt)
build_programs build
(
    unset SOURCE_DATE_EPOCH
    cmake -S . -B build-reproducible -DCMAKE_BUILD_TYPE="$build_type" -DKELVORA_BUILD_TESTS=OFF \
        > /dev/null
    build_programs build-reproducible
)
for tree in build build-reproducible; do
    cpack --config "$tree/CPackConfig.cmake" -G DEB -B "$work/$tree" > /dev/null
done
deb=$(cd "$work/build" && ls ./*.deb)
cmp "$work/build/$deb" "$work/build-reproducible/$deb"
dpkg-deb -x "$work/build/$deb" "$work/deb"

# ---- The zip and the installer ------------------------------------------------------------------
packaging/windows/build.sh --programs-only build-windows-reproducible > /dev/null
for artefact in build-windows/kelvora-staerkeneditor-*-win64.{zip,msi}; do
    cmp "$artefact" "build-windows-reproducible/$(basename "$artefact")"
done
unzip -q build-windows/kelvora-staerkeneditor-*-win64.zip -d "$work/zip"

# The folders the builds ran in, as the compilers would have written them into the programs.
if grep -rlaF -e "$kelvora_root" -e build-reproducible -e build-windows "$work"/{deb,zip}; then
    echo "reproducible: the files above name a build folder" >&2
    exit 1
fi
echo "reproducible: built twice, the same bytes:"
(cd "$work/build" && sha256sum ./*.deb; cd "$kelvora_root/build-windows" \
    && sha256sum kelvora-staerkeneditor-*-win64.{zip,msi}) | sed 's/^/  /'
