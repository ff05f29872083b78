#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the start of our program up to the first frame of its window against the smallest Qt
# Widgets window program, on Qt's offscreen platform and on a virtual X display (Xvfb), runs
# of the two alternating. Each program reports the time from its launch to its first frame
# itself (bench/firstframe.h); the launch time is taken right before the program is started,
# so loading the libraries counts.
#
#   BUILD_DIR=build RUNS=20 bash bench/startup.sh
#
# BUILD_DIR (default: build in the repository root) must hold bench/kelvora_firstframe and
# bench/minimal_window. Without Xvfb only the offscreen platform is timed. Ends with key=value
# lines; the unprefixed startup_* ones are from Xvfb when it ran, the real display path.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ours=$build/bench/kelvora_firstframe
minimal=$build/bench/minimal_window
for program in "$ours" "$minimal"; do
    if [[ ! -x $program ]]; then
        echo "no $program: build it first" \
            "(cmake --build $build --target kelvora_firstframe minimal_window)" >&2
        exit 1
    fi
done
runs=${RUNS:-20}

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-startup.XXXXXX")
xvfb_pid=""
cleanup() {
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# Keeps Qt from warning about it on every start.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
# Our lists show the current folder until start-up moves them to the program's folder; an empty
# one keeps whatever folder the script is started from out of the figure.
mkdir "$work/cwd"
cd "$work/cwd"

# first_frame_ms <platform> <program>: one start, its time to the first frame in ms.
first_frame_ms() {
    local out
    # The launch time is taken in the subshell that then becomes the program (bash execs the
    # last command of a command substitution).
    if ! out=$(KELVORA_BENCH_LAUNCH_US=${EPOCHREALTIME/[.,]/} QT_QPA_PLATFORM=$1 "$2" \
               2>"$work/stderr"); then
        echo "$2 failed on $1:" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
    awk -F= '/^first_frame_ms=/ { print $2 }' <<<"$out"
}

spread() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }

# time_platform <platform> <label>: sets ours_ms, minimal_ms and platform_ratio.
time_platform() {
    # One start each first, so font and shader caches and the page cache are warm for all runs.
    first_frame_ms "$1" "$ours" >/dev/null
    first_frame_ms "$1" "$minimal" >/dev/null
    : >"$work/ours"
    : >"$work/minimal"
    for ((i = 0; i < runs; i++)); do
        first_frame_ms "$1" "$ours" >>"$work/ours"
        first_frame_ms "$1" "$minimal" >>"$work/minimal"
    done
    ours_ms=$(median <"$work/ours")
    minimal_ms=$(median <"$work/minimal")
    platform_ratio=$(ratio "$ours_ms" "$minimal_ms")
    printf '  %-9s ours %7s ms (%s), minimal %7s ms (%s): %sx (goal <= 1.15)\n' "$2:" \
        "$ours_ms" "$(spread <"$work/ours")" "$minimal_ms" "$(spread <"$work/minimal")" \
        "$platform_ratio"
}

# Starts an Xvfb of our own; -displayfd picks a free display number and reports it.
start_xvfb() {
    command -v Xvfb >/dev/null || return 1
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < 100; i++)); do
        if [[ -s $work/display ]]; then
            DISPLAY=:$(head -n 1 "$work/display")
            export DISPLAY
            return 0
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    return 1
}

echo "time from launch to the first frame, median of $runs starts each (fastest-slowest):"
time_platform offscreen offscreen
off_ours=$ours_ms off_minimal=$minimal_ms off_ratio=$platform_ratio
platform=offscreen
if start_xvfb; then
    time_platform xcb Xvfb
    xvfb_ours=$ours_ms xvfb_minimal=$minimal_ms xvfb_ratio=$platform_ratio
    platform=xvfb
else
    echo "  Xvfb:     not available, skipped"
fi

echo "startup_offscreen_ours_ms=$off_ours"
echo "startup_offscreen_minimal_ms=$off_minimal"
echo "startup_offscreen_ratio=$off_ratio"
if [[ $platform = xvfb ]]; then
    echo "startup_xvfb_ours_ms=$xvfb_ours"
    echo "startup_xvfb_minimal_ms=$xvfb_minimal"
    echo "startup_xvfb_ratio=$xvfb_ratio"
fi
echo "startup_platform=$platform"
echo "startup_ours_ms=$ours_ms"
echo "startup_minimal_ms=$minimal_ms"
echo "startup_ratio=$platform_ratio"
