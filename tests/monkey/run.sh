#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Random keys and clicks on the real window for about a minute: the sanitizer build on a virtual
# display, beside strength files of every line-end kind, odd bytes, odd names and one large file,
# so that input lands inside saves. Ctrl+Q and the close button end the program now and then;
# it is started again. Passes when every run ends with status 0, no sanitizer reports anything,
# no input file changed and every .new left behind is the line rule's output (checknew.cpp).
#
#   tests/monkey/run.sh                 a new seed, printed first
#   SEED=1234 tests/monkey/run.sh       the same keys and clicks again (timing still varies)
#
# SECONDS_TOTAL (60) bounds the input, LARGE_MB (300) sizes the large file, BUILD_DIR
# (build-sanitize) holds the program and monkey_checknew. Needs xvfb, xdotool, python3 and
# unshare (util-linux).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../.ci/lib.sh"
build=$(build_folder build-sanitize)
program=$build/app/kelvora-staerkeneditor
checker=$build/tests/monkey/monkey_checknew
seed=${SEED:-$((RANDOM << 15 | RANDOM))}
total=${SECONDS_TOTAL:-60}
large_mb=${LARGE_MB:-300}
if [[ ! $seed$total$large_mb =~ ^[0-9]+$ ]]; then
    echo "monkey: SEED, SECONDS_TOTAL and LARGE_MB are whole numbers" >&2
    exit 1
fi
RANDOM=$seed
echo "monkey: seed $seed (SEED=$seed tests/monkey/run.sh repeats this input)"
for built in "$program" "$checker"; do
    [[ -x $built ]] || { echo "monkey: no $built: build the sanitize tree first" >&2; exit 1; }
done

work=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/kelvora-monkey.XXXXXX")")
files=$work/files
logs=$work/logs
app="" xvfb=""
stop() { # pid: ends a process of ours, forcibly if it does not end within 5 s
    kill "$1" 2>/dev/null || return 0
    for _ in {1..50}; do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
    [[ -z $app ]] || stop "$app"
    [[ -z $xvfb ]] || stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# Every line-end kind, NUL and high bytes, short ST and MAX lines, a last line without line
# end, an empty file, a Latin-1 name, a subfolder, files the list leaves out, and a large file.
make_samples() {
    mkdir -p "$files/Unterordner" "$logs" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$program" "$files/"
    printf '01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\nplain\r\n01ST\r\n01MAX\r\n01st\r\n' \
        >"$files/crlf_sp.cfg"
    printf '01STRENGTH  3000\n01MAXSTRENGTH   8000\nXXST\n\n' >"$files/lf_sp1.cfg"
    printf '01STRENGTH  3000\r01MAXSTRENGTH   8000\rplain\r\r' >"$files/cr_sp2.cfg"
    printf '\0\0ST\x80\xff\r\n\x01\x02MAX\0\xe4\xf6\xfc\xff\xff\r\n\n\r\r\n\xe9\0' \
        >"$files/bytes_sp.cfg"
    printf '01STRENGTH  1000\r\n' >"$files/"$'\xe4rger_sp.cfg'
    : >"$files/empty_sp.cfg"
    printf '02MAXSTRENGTH   2000\r\n' >"$files/Unterordner/tief_sp3.cfg"
    printf '01STRENGTH  3000\r\n' >"$files/other.cfg"
    # Short lines of every kind: a save of it takes seconds.
    local block=$'01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\nplain \x80\xe4\xff\rx\r\n\r\n\ry\nz'
    (yes "$block" || true) | head -c "$((large_mb << 20))" >"$files/big_sp.cfg"
}

checksums() {
    (cd "$files" && find . -type f ! -name '*.new' -print0 | sort -z | xargs -0 sha1sum)
}

start_xvfb() {
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" >"$logs/xvfb" 2>&1 &
    xvfb=$!
    for _ in {1..100}; do
        [[ -s $work/display ]] && break
        sleep 0.1
    done
    if [[ ! -s $work/display ]]; then
        echo "monkey: Xvfb did not start: $(cat "$logs/xvfb")" >&2
        exit 1
    fi
    export DISPLAY=:$(head -n 1 "$work/display")
}

# The program in a private mount namespace in which every mount but the work folder is
# read-only: random clicks can reach the whole file system, and no save may write there.
sandboxed() {
    local as_user=()
    ((EUID == 0)) || as_user=(--map-root-user)
    exec unshare --mount --propagation private "${as_user[@]}" bash -c '
        set -e
        mount --bind "$1" "$1"
        while read -r _ _ _ _ point options _; do
            printf -v point %b "$point"
            if [[ $options == rw* && $point != "$1" ]]; then mount -o remount,bind,ro "$point"; fi
        done </proc/self/mountinfo
        shift
        exec "$@"' sandbox "$work" "$@"
}

# The LSan suppression covers the one leak of the system's libdbus at exit.
start_program() {
    runs=$((runs + 1))
    (
        cd "$files"
        export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 XDG_RUNTIME_DIR=$work/runtime
        use_sanitizer_options "$logs/sanitizer"
        export LSAN_OPTIONS=suppressions=$here/lsan.supp:print_suppressions=0
        sandboxed ./kelvora-staerkeneditor
    ) >"$logs/run$runs" 2>&1 &
    app=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvora St' | head -n 1) \
        || true
    if [[ -z $window ]]; then
        failures+=("run $runs showed no window within 30 s: $(tail -n 5 "$logs/run$runs")")
        stop "$app"
        return
    fi
    # Without a window manager the window stands at the screen's top left, its menu bar above
    # the client area.
    local height
    height=$(timeout 10 xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p') \
        || true
    top=$((${height:-434} - 415))
}

alive() { kill -0 "$app" 2>/dev/null; }

# Reaps the program and keeps its exit status.
finish_program() {
    local status=0
    wait "$app" || status=$?
    app=""
    ((status == 0)) \
        || failures+=("run $runs ended with status $status: $(tail -n 5 "$logs/run$runs")")
}

close_window() { timeout 10 python3 "$here/closewindow.py" "$1" >/dev/null 2>&1 || true; }
send() { timeout 20 xdotool "$@" >/dev/null 2>&1 || true; }

# Client-area rectangles (left top width height) a click aims at, listed by weight; the file
# list's first row holds the large file.
declare -A area=([drives]="11 120 185 21" [folders]="11 147 185 126" [files]="11 280 185 123"
    [large]="11 281 185 12" [start]="312 136 81 21" [maximum]="312 264 81 21"
    [save]="208 344 89 25" [anywhere]="0 0 403 415")
aims=(drives folders folders folders files files large large large start start maximum maximum
    save save save save anywhere anywhere anywhere)
keys=(Up Down Left Right Tab shift+Tab Return Return space Escape Escape Page_Up Page_Down
    Home End)

# A save writes a file without a name (shown as "#inode (deleted)") beside the chosen one until
# it is complete, or a hidden temporary one where the file system has no unnamed files.
saving() {
    compgen -G "$files/.kelvora-*.tmp" || compgen -G "$files/*/.kelvora-*.tmp" \
        || find /proc/"$(pgrep -n -x kelvora-staerke)"/fd -lname "$files/*#*" 2>/dev/null \
            | grep -q .
} >/dev/null

# One burst of one to eight inputs; a close ends the burst.
act() {
    local args=() roll rect in_save=0
    saving && in_save=1
    bursts_in_saves=$((bursts_in_saves + in_save))
    for ((n = 1 + RANDOM % 8; n > 0; n--)); do
        inputs=$((inputs + 1))
        roll=$((RANDOM % 1000))
        if ((roll < 20)); then
            ends_in_saves=$((ends_in_saves + in_save))
            if ((roll < 10)); then
                args+=(key ctrl+q)
            else
                send "${args[@]}" sleep 0
                close_window "$window"
                return
            fi
        elif ((roll < 60)); then
            args+=(key ctrl+i)
        elif ((roll < 500)); then
            args+=(key "${keys[RANDOM % ${#keys[@]}]}")
        else
            read -r -a rect <<<"${area[${aims[RANDOM % ${#aims[@]}]}]}"
            args+=(mousemove $((rect[0] + RANDOM % rect[2])) $((top + rect[1] + RANDOM % rect[3])))
            args+=(click --repeat $((RANDOM % 8 ? 1 : 2)) 1)
        fi
    done
    send "${args[@]}"
    sleep "0.0$((RANDOM % 10))"
}

# Asks as a user would: message boxes first (closing one answers it), then the window.
end_program() {
    for _ in {1..40}; do
        alive || return 0
        for w in $(timeout 10 xdotool search --onlyvisible --name . 2>/dev/null); do
            [[ $w == "$window" ]] || close_window "$w"
        done
        close_window "$window"
        sleep 0.5
    done
    failures+=("run $runs did not end within 20 s of closing its window")
    stop "$app"
}

make_samples
checksums >"$work/before"
if ! (sandboxed true) 2>"$logs/sandbox"; then
    echo "monkey: cannot make the read-only sandbox: $(cat "$logs/sandbox")" >&2
    exit 1
fi
start_xvfb
runs=0 inputs=0 bursts_in_saves=0 ends_in_saves=0 failures=()
deadline=$((SECONDS + total))
while ((SECONDS < deadline)); do
    start_program
    while ((SECONDS < deadline)) && alive; do act; done
    end_program
    finish_program
done
stop "$xvfb"
xvfb=""

checksums >"$work/after"
diff "$work/before" "$work/after" >"$work/changed" \
    || failures+=("files changed or left behind (besides .new): $(cat "$work/changed")")
while IFS= read -r -d '' log; do
    failures+=("sanitizer report $log: $(head -n 60 "$log")")
done < <(find "$logs" -name 'sanitizer.*' -size +0 -print0)
mapfile -d '' outputs < <(find "$files" -name '*.new' -print0)
if ((${#outputs[@]})); then
    timeout 600 "$checker" "${outputs[@]}" >"$work/check" 2>&1 \
        || failures+=("malformed .new: $(cat "$work/check")")
fi

summary="seed $seed, $total s, $inputs inputs ($bursts_in_saves bursts and $ends_in_saves"
summary+=" ends during saves), $runs runs, ${#outputs[@]} .new checked"
if ((${#failures[@]})); then
    printf 'monkey: %s\n' "${failures[@]}"
    echo "monkey: FAILED: $summary"
    exit 1
fi
echo "monkey: passed: $summary"
