#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows programs and their tests with MinGW-w64 against the Qt of build-qt.sh into
# build-windows/, and packs the program, the command-line companion, exactly the DLLs and plugins
# they load, the licence texts and a README twice: as
# build-windows/kelvora-staerkeneditor-<version>-win64.zip and as the installer
# build-windows/kelvora-staerkeneditor-<version>-win64.msi (msi.sh).
#
#   packaging/windows/build.sh [--programs-only] [build folder]
#
# --programs-only leaves the tests out (the second build of the reproducibility check).
set -euo pipefail
source "$(dirname "$0")/common.sh"

targets=()
tests=ON
if [[ ${1:-} == --programs-only ]]; then
    targets=(--target kelvora-staerkeneditor kelvora-staerken)
    tests=OFF
    shift
fi
qt=$("$kelvora_root/packaging/windows/build-qt.sh" | tail -n 1)
ensure_packages zip
build=$(realpath -m "${1:-$kelvora_root/build-windows}")

cmake -S "$kelvora_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVORA_WERROR=ON \
    -DKELVORA_BUILD_TESTS=$tests -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$kelvora_root/packaging/windows/wine.sh"
nice -n 10 cmake --build "$build" --parallel "${KELVORA_JOBS:-2}" "${targets[@]}"

# ---- The zip ----------------------------------------------------------------------------------
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=kelvora-staerkeneditor-$version-win64
stage=$build/zip/$name
rm -rf "$build/zip" "$build/$name.zip" "$build/$name.msi"
mkdir -p "$stage"/{platforms,styles,licenses}

cp "$build/app/kelvora-staerkeneditor.exe" "$build/cli/kelvora-staerken.exe" "$stage/"
# A window program: Windows opens no console window beside it; the companion is a console one.
subsystem() { $mingw_triple-objdump -p "$stage/$1" | grep '^Subsystem'; }
[[ $(subsystem kelvora-staerkeneditor.exe) == *"(Windows GUI)" ]] \
    || { echo "build: kelvora-staerkeneditor.exe is not a GUI program" >&2; exit 1; }
[[ $(subsystem kelvora-staerken.exe) == *"(Windows CUI)" ]] \
    || { echo "build: kelvora-staerken.exe is not a console program" >&2; exit 1; }
# Both programs carry their application manifest (resources/*.manifest) where Windows reads it:
# resource 1 of type 24; and an icon (type 14) and version information (type 16) naming the
# file, which Explorer and Task Manager show.
ensure_packages icoutils
for exe in "$stage"/*.exe; do
    manifest=$(wrestool -x --raw -t 24 -n 1 "$exe")
    for setting in 'level="asInvoker"' '>true</longPathAware>' \
        '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        [[ $manifest == *"$setting"* ]] \
            || { echo "build: $exe: no $setting in its manifest" >&2; exit 1; }
    done
    [[ -n $(wrestool -l -t 14 "$exe") ]] || { echo "build: $exe has no icon" >&2; exit 1; }
    wrestool -x --raw -t 16 "$exe" | iconv -c -f UTF-16LE -t UTF-8 \
        | grep -aF "$(basename "$exe")" > /dev/null \
        || { echo "build: $exe: no version information naming it" >&2; exit 1; }
done
$mingw_triple-strip "$stage"/*.exe
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# No image format plugin: the window's images are compiled in as pixels (resources/images.h).

# The folders a shipped DLL may come from: Qt's, and the compiler's runtime packages.
mapfile -t dll_dirs < <(echo "$qt/bin"; mingw_runtime_dirs)
# Wine's own DLLs stand for the system's: a DLL found neither there nor above is missing.
# API set names (api-ms-*, ext-ms-*) are no files; the system's loader resolves them.
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

imports() { $mingw_triple-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
find_dll() {
    local dir
    for dir in "$@"; do
        find "$dir" -maxdepth 1 -iname "$dll" -print -quit
    done | head -n 1
}
# Follows the imports of the program and the plugins and copies every DLL they reach that is
# not the system's, so the folder holds exactly what is loaded.
ship_dependencies() {
    local queue=("$stage"/*.exe "$stage"/*/*.dll) seen=" " file dll found
    while ((${#queue[@]})); do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        while read -r dll; do
            [[ $seen == *" ${dll,,} "* ]] && continue
            seen+="${dll,,} "
            found=$(find_dll "${dll_dirs[@]}")
            if [[ -n $found ]]; then
                cp "$found" "$stage/"
                queue+=("$stage/$(basename "$found")")
            elif [[ ${dll,,} != api-ms-* && ${dll,,} != ext-ms-* && -z $(find_dll "$wine_dlls") ]]; then
                echo "build: $dll (needed by $(basename "$file")) is neither shipped nor a system DLL" >&2
                exit 1
            fi
        done < <(imports "$file")
    done
}
ensure_packages wine64
ship_dependencies
# Release builds still carry symbol tables; users do not need them.
find "$stage" -iname '*.dll' -exec $mingw_triple-strip --strip-unneeded {} +

# Licences of everything shipped, and where the sources are.
[[ -f $kelvora_root/LICENSE ]] || { echo "build: LICENSE missing at the repository root" >&2; exit 1; }
cp "$kelvora_root/LICENSE" "$stage/licenses/kelvora-staerkeneditor-GPL-3.0.txt"
cp -r "$qt/licenses/." "$stage/licenses/"
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright \
    "$stage/licenses/gcc-runtime-libraries-with-runtime-library-exception.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64-and-winpthreads.txt"
work_readme=$(mktemp)
sed -e "s/@VERSION@/$version/g" -e "s/@QT_DEBIAN_VERSION@/$(qt_debian_version)/g" \
    -e "s/@GCC_RUNTIME_VERSION@/$(dpkg-query -W -f='${source:Version}' gcc-mingw-w64-x86-64-posix-runtime)/g" \
    -e "s/@GCC_RUNTIME_BINARY@/$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix-runtime)/g" \
    -e "s/@MINGW_VERSION@/$(dpkg-query -W -f='${source:Version}' mingw-w64-x86-64-dev)/g" \
    "$kelvora_root/packaging/windows/README.txt.in" | sed 's/$/\r/' > "$work_readme"
# UTF-8 with its mark, so that every Windows editor shows the umlauts.
{ printf '\xef\xbb\xbf'; cat "$work_readme"; } > "$stage/README.txt"
rm "$work_readme"
# The read-me is true to the folder: every program and DLL it names is shipped, and every one
# shipped, and every folder, is named (a folder in quotes).
named=$(grep -oE '[A-Za-z0-9_+-]+\.(dll|exe)' "$stage/README.txt" | LC_ALL=C sort -u)
shipped=$(cd "$stage" && find . -maxdepth 2 -type f \( -name '*.dll' -o -name '*.exe' \) \
    -printf '%f\n' | LC_ALL=C sort -u)
[[ $named == "$shipped" ]] || { echo "build: README.txt names other programs and DLLs than shipped:" >&2
    diff <(echo "$named") <(echo "$shipped") >&2; exit 1; }
for folder in $(cd "$stage" && find . -mindepth 1 -maxdepth 1 -type d -printf '%f\n'); do
    grep -qF "\"$folder\"" "$stage/README.txt" \
        || { echo "build: README.txt does not name the folder $folder" >&2; exit 1; }
done

# The same bytes from every build of one commit: files in byte order, one time stamp (the last
# commit's, taken as UTC), the same permissions, no extra attributes.
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
(cd "$build/zip" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$build/$name.zip" -@)
"$kelvora_root/packaging/windows/msi.sh" "$stage" "$version" "$build/$name.msi"
echo "build: $build/$name.zip"
echo "build: $build/$name.msi"
(cd "$stage" && find . -type f | LC_ALL=C sort)
