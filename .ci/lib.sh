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

# --- Qt for Windows built in the background (.ci/test) ----------------------------------------
# The build runs in a session and process group of its own, so that it can be paused as a whole
# (every compiler it started included) while the benchmarks measure, and ended as a whole. Its
# output goes to $logs/qt-for-windows.log, its exit status to $logs/qt-for-windows.rc; the
# seconds it spent paused add up in $logs/qt-for-windows.paused. These need `logs` set.

# start_qt_build: starts the build, and a watcher in a session of its own that resumes and ends
# it should this shell die without its traps running (SIGKILL), so no pause outlives the run.
start_qt_build() {
    qt_build_log=$logs/qt-for-windows.log
    qt_build_started=$SECONDS
    : > "$logs/qt-for-windows.paused"
    # Started from a shell without job control, setsid makes its own process the group leader:
    # $! is the group's number.
    setsid bash -c '"$1" > "$2" 2>&1; echo $? > "$3"' _ \
        "$kelvora_root/packaging/windows/build-qt.sh" "$qt_build_log" "$logs/qt-for-windows.rc" \
        < /dev/null &
    qt_build_group=$!
    setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 5; done
        kill -CONT -- "-$2" 2>/dev/null; kill -TERM -- "-$2" 2>/dev/null' _ $$ "$qt_build_group" \
        > /dev/null 2>&1 < /dev/null &
}

qt_build_running() {
    [[ ! -f $logs/qt-for-windows.rc ]] && kill -0 -- "-$qt_build_group" 2>/dev/null
}

# stop_qt_build: ends the build if it still runs (on any exit of the test command).
stop_qt_build() {
    qt_build_running || return 0
    kill -CONT -- "-$qt_build_group" 2>/dev/null
    kill -TERM -- "-$qt_build_group" 2>/dev/null
}

# with_qt_build_paused <command...>: runs the command while the Qt build is stopped (SIGSTOP of
# its process group), and lets the build go on when the command ends, fails or is interrupted.
with_qt_build_paused() {
    (
        paused_at=$SECONDS
        child=
        resume() {
            kill -CONT -- "-$qt_build_group" 2>/dev/null
            echo $((SECONDS - paused_at)) >> "$logs/qt-for-windows.paused"
        }
        trap resume EXIT
        trap '[[ -n $child ]] && kill "$child" 2>/dev/null; exit 130' INT
        trap '[[ -n $child ]] && kill "$child" 2>/dev/null; exit 143' TERM
        if qt_build_running; then
            kill -STOP -- "-$qt_build_group" 2>/dev/null && echo "test: Qt for Windows paused"
        fi
        # In the background and waited for, so that a signal is handled at once; Ctrl+C still
        # reaches the command.
        (trap - INT; exec "$@") &
        child=$!
        wait "$child"
    )
}

# wait_for_qt_build: waits until the build ended, for at most QT_BUILD_MINUTES (default 65) of
# its running time, the pauses not counted; a build that failed or ran out of time fails, with
# the end of its log and the log's name.
wait_for_qt_build() {
    local limit=$((${QT_BUILD_MINUTES:-65} * 60)) paused
    while qt_build_running; do
        paused=$(awk '{ s += $1 } END { print s + 0 }' "$logs/qt-for-windows.paused")
        if ((SECONDS - qt_build_started - paused > limit)); then
            stop_qt_build
            echo "test: Qt for Windows was not built within ${QT_BUILD_MINUTES:-65} minutes" \
                "(QT_BUILD_MINUTES); ended. Its log, $qt_build_log, ends:"
            tail -n 20 "$qt_build_log"
            return 1
        fi
        sleep 5
    done
    local status
    status=$(cat "$logs/qt-for-windows.rc" 2>/dev/null)
    if [[ $status != 0 ]]; then
        echo "test: building Qt for Windows failed (exit status ${status:-unknown})." \
            "Its log, $qt_build_log, ends:"
        tail -n 30 "$qt_build_log"
        return 1
    fi
    tail -n 3 "$qt_build_log"
}
