# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the Windows scripts: where things are, and installing Debian packages.
# Sourced, not run.

source "$(dirname "${BASH_SOURCE[0]}")/../../.ci/lib.sh"
# The MinGW-w64 compiler with POSIX threads: std::thread and friends need it, and its runtime
# (libwinpthread-1.dll) ships in the zip.
mingw_triple=x86_64-w64-mingw32
# Qt for Windows is built from the same Debian source as the host Qt whose tools (moc, rcc, uic)
# it uses, so both are exactly one version.
qt_debian_version() { dpkg-query -W -f='${source:Version}' qt6-base-dev; }
qt_upstream_version() { qt_debian_version | sed -E 's/^[0-9]+://; s/[+~-].*//'; }
# File times in the zip and the installer, and rcc's resources, are the last commit's.
use_commit_time
# Outside the checkout: CI clones afresh each time, the cache stays with the machine.
kelvora_cache=${KELVORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvora}
qt_prefix() { echo "$kelvora_cache/qt-$(qt_upstream_version)-mingw64"; }

# The folders holding the MinGW runtime DLLs, as the compiler packages install them.
mingw_runtime_dirs() {
    dirname "$(dpkg -L gcc-mingw-w64-x86-64-posix-runtime | grep -m 1 '/libstdc++-6\.dll$')"
    dirname "$(dpkg -L mingw-w64-x86-64-dev | grep -m 1 '/libwinpthread-1\.dll$')"
}

# ---- Wine -------------------------------------------------------------------------------------
# A private prefix per checkout, so no user's Wine setup is touched and CI starts clean.
export WINEPREFIX=${KELVORA_WINEPREFIX:-$kelvora_root/build-windows/wineprefix}
export WINEARCH=win64
# No fixme noise; no Mono/Gecko installer dialogs; no menu entries written into the host.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"

# Makes the prefix once (wineboot takes about 11 s), serialised for tests started side by side.
ensure_wine_prefix() {
    # What Wine recommends for drawing windows: its own fonts (Tahoma, the dialog font), the
    # Liberation stand-ins for Arial and Times, and the X extensions its display driver uses.
    ensure_packages wine wine64 fonts-wine fonts-liberation libxrender1 libxi6 libxrandr2
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [[ ! -f $WINEPREFIX/.kelvora-ready ]]; then
            rm -rf "$WINEPREFIX"
            wine wineboot -i > /dev/null 2>&1
            wineserver -w
            # Debian's Wine leaves its own fonts out of a new prefix; without Tahoma the dialog
            # font falls back to whatever font comes first.
            cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
            touch "$WINEPREFIX/.kelvora-ready"
        fi
        # Wine marks names starting with a dot hidden; Windows does not, and the lists leave
        # out what is marked hidden.
        if [[ ! -f $WINEPREFIX/.kelvora-dotnames ]]; then
            wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f > /dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.kelvora-dotnames"
        fi
    ) 9> "$WINEPREFIX.lock"
}

# A Linux path as Windows programs see it: Wine maps drive Z: to /.
windows_path() { local path; path=$(realpath -m "$1"); echo "Z:${path//\//\\}"; }
