# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers every script of ours shares: where the checkout and its builds are, installing Debian
# packages, and the sanitizers' settings. Sourced, not run.
# shellcheck shell=bash

kelvora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# build_folder <default>: BUILD_DIR, or the default, inside the checkout unless absolute.
build_folder() {
    local folder=${BUILD_DIR:-$1}
    [[ $folder = /* ]] && echo "$folder" || echo "$kelvora_root/$folder"
}

# ensure_packages <package...>: installs those missing with apt-get, through sudo when run as
# an ordinary user: only installing needs root.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    local as_root=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || {
            echo "missing ${missing[*]}; install them as root (apt-get install)" >&2
            return 1
        }
        as_root=(sudo)
    fi
    echo "installing: ${missing[*]}"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# use_commit_time: SOURCE_DATE_EPOCH, unless given, is the last commit's time (outside a
# checkout, now): every time stamp our packages and resources carry comes from it, so that two
# builds of one commit give the same bytes.
use_commit_time() {
    SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$kelvora_root" log -1 --format=%ct 2>/dev/null \
        || date +%s)}
    export SOURCE_DATE_EPOCH
}

# AddressSanitizer and UndefinedBehaviorSanitizer as every instrumented build of ours uses them:
# frame pointers give whole stacks in reports, and the first report ends the program.
sanitizer_flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
sanitizer_link_flags="-fsanitize=address,undefined"

# use_sanitizer_options [log file]: any report, a leak included, fails the program that has it.
use_sanitizer_options() {
    local log=${1:+:log_path=$1}
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1$log
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1$log
}
