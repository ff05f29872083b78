#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for 64-bit Windows once, from Debian's own qt6-base source (the version of the
# host Qt whose moc, rcc and uic it uses), with the MinGW-w64 compiler, into
#   ${KELVORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvora}/qt-<version>-mingw64
# and reuses that folder while its stamp matches this recipe. Prints the folder on the last line.
# Only what the program and its tests use: Core, Gui, Widgets, Test; the windows and offscreen
# platforms; the windowsvista style; gif and ico image formats (BMP is built into QtGui); the
# bundled zlib, libpng, freetype, harfbuzz, pcre2 and double-conversion. About half an hour on
# two cores; run as root (it installs its Debian packages and a deb-src entry).
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_packages g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build \
    qt6-base-dev qt6-base-dev-tools dpkg-dev xz-utils

# One build at a time: a second caller waits and then finds the cache.
mkdir -p "$kelvora_cache"
exec 8> "$kelvora_cache/.qt-build.lock"
flock 8

prefix=$(qt_prefix)
toolchain=$kelvora_root/packaging/windows/mingw-w64.toolchain.cmake
qt_options=(
    -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    # Modules and features the program does not use.
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_imageformat_jpeg=OFF -DFEATURE_sessionmanager=OFF
    # The source package leaves out the wintab headers.
    -DFEATURE_tabletevent=OFF
    # No OpenGL at all: every one of these switches is needed to get there.
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF
    # The windows platform uses the DirectWrite 3 font database whenever directwrite3 is on,
    # but QtGui builds it only together with direct2d; the GDI font database is the default.
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
    # Qt's own copies of the third-party libraries, built into Qt's DLLs.
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_gif=ON -DFEATURE_ico=ON -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON
)
# The stamp names the recipe, so a changed recipe builds afresh (the toolchain file counts
# without its comments); it is written only after a complete install, so an interrupted build
# is never taken for a cache.
toolchain_sum=$(grep -v '^[[:space:]]*#' "$toolchain" | sha256sum | cut -c1-16)
recipe="qt6-base $(qt_debian_version) $toolchain_sum ${qt_options[*]}"
stamp=$prefix/.kelvora-complete
if [[ -f $stamp && $(<"$stamp") == "$recipe" ]]; then
    echo "Qt for Windows: cached"
    echo "$prefix"
    exit 0
fi

# Source entries copied from the machine's own apt entries that the host Qt comes from: the
# same addresses, suites, components and keys, only of type deb-src.
add_source_entries() {
    apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package:' && return 0
    local sites list=/etc/apt/sources.list.d/kelvora-deb-src
    sites=$(apt-cache policy qt6-base-dev | awk '$2 ~ /:\/\// && $NF == "Packages" { print $2 }' | sort -u)
    [[ -n $sites ]] || { echo "build-qt: no apt address serves qt6-base-dev" >&2; exit 1; }
    shopt -s nullglob
    local deb822=(/etc/apt/sources.list.d/*.sources)
    local oneline=(/etc/apt/sources.lis[t] /etc/apt/sources.list.d/*.list)
    awk -v sites="$sites" 'BEGIN { RS = ""; ORS = "\n\n"; n = split(sites, site, "\n") }
        /(^|\n)Types:[^\n]*deb/ && !/(^|\n)Enabled: *no/ {
            for (i = 1; i <= n; i++) if (index($0, site[i])) {
                gsub(/(^|\n)#[^\n]*/, ""); sub(/Types:[^\n]*/, "Types: deb-src"); print; break } }' \
        /dev/null "${deb822[@]}" > "$list.sources"
    awk -v sites="$sites" 'BEGIN { n = split(sites, site, "\n") } $1 == "deb" {
            for (i = 1; i <= n; i++) if (index($0, site[i])) { $1 = "deb-src"; print; break } }' \
        /dev/null "${oneline[@]}" > "$list.list"
    shopt -u nullglob
    [[ -s $list.list ]] || rm -f "$list.list"
    [[ -s $list.sources ]] || rm -f "$list.sources"
    echo "apt: added source entries:"; cat "$list".* 2>/dev/null || true
    apt-get update -qq
}

# The source tree, unpacked with Debian's patches, in a work folder beside the cache.
fetch_source() {
    local work=$1
    [[ -f $work/source-complete ]] && return 0
    add_source_entries
    rm -rf "$work/src" && mkdir -p "$work/src"
    (cd "$work/src" && apt-get source -qq "qt6-base=$(qt_debian_version)")
    touch "$work/source-complete"
}

# The licence texts a zip of Qt's DLLs carries: Qt's LGPL-3 (with the GPL-3 it builds on),
# Debian's account of every file's copyright, and the licences of the bundled libraries.
collect_licenses() {
    local source=$1 out=$2 lib file
    mkdir -p "$out/qt-third-party"
    cp "$source/LICENSES/LGPL-3.0-only.txt" "$source/LICENSES/GPL-3.0-only.txt" "$out/"
    cp "$source/debian/copyright" "$out/qt6-base-copyright.txt"
    for lib in zlib libpng freetype harfbuzz-ng pcre2 double-conversion md4c tinycbor rfc6234 \
        blake2 easing icc; do
        for file in $(cd "$source/src/3rdparty/$lib" && find . -maxdepth 2 \( -iname 'LICEN[CS]E*' \
            -o -iname 'COPYING*' -o -name FTL.TXT \) | sort); do
            cp "$source/src/3rdparty/$lib/$file" "$out/qt-third-party/$lib-$(basename "$file")"
        done
    done
}

work=$kelvora_cache/qt-$(qt_upstream_version)-mingw64.work
mkdir -p "$work"
fetch_source "$work"
source_dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
rm -rf "$prefix"
mkdir -p "$prefix"
# Programs built against this Qt load the toolchain through Qt's qt.toolchain.cmake, which
# keeps the path given here: it must outlive the checkout.
cp "$toolchain" "$prefix/mingw-w64.toolchain.cmake"

start=$SECONDS
cmake -S "$source_dir" -B "$work/build" "${qt_options[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix"
nice -n 10 cmake --build "$work/build" --parallel "${KELVORA_JOBS:-2}"
cmake --install "$work/build"
collect_licenses "$source_dir" "$prefix/licenses"
echo "$recipe" > "$stamp"
rm -rf "$work"
echo "Qt for Windows: built in $((SECONDS - start)) s"
echo "$prefix"
