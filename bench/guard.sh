#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark stage of .ci/test: runs listing.sh, startup.sh, compare.sh and batch.sh with
# modest run counts (about five minutes on two cores), prints each ratio they end with beside its
# reference in bench/reference.txt, and fails only where a ratio is more than TOLERANCE (default
# 1.5) times worse than that. A shared, busy machine moves the ratios by tens of percent, which
# passes; a doubling does not. A ratio the reference names but a script no longer prints fails
# too, so that a renamed measure cannot drop out of the guard unnoticed.
#
#   BUILD_DIR=build bash bench/guard.sh
#
# BUILD_DIR (default: build in the repository root) must hold the built benchmarks and the
# companion. The references were measured with exactly the settings below; change both together.
set -uo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
tolerance=${TOLERANCE:-1.5}
reference=$repo/bench/reference.txt

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-guard.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run_benchmark <name> <setting...>: the script bench/<name>.sh with those settings, its output
# in $work/<name>; a failing script fails the stage.
failed=0
run_benchmark() {
    local name=$1
    shift
    echo "--- bench/$name.sh ($*)"
    local start=$SECONDS
    if env "$@" bash "$repo/bench/$name.sh" > "$work/$name" 2> "$work/$name.err"; then
        echo "    $((SECONDS - start)) s"
    else
        echo "bench/$name.sh failed:"
        cat "$work/$name" "$work/$name.err"
        failed=$((failed + 1))
    fi
}

run_benchmark listing RUNS=5
run_benchmark startup RUNS=10
run_benchmark compare LARGE_MB=50
run_benchmark batch FILES=200 FILE_KB=100

# Each reference line is "<script>.<key>=<value>", with "higher" after the value where a larger
# ratio is the better one (how many times the other program's time ours is).
checked=0
worse=()
echo "--- measured against bench/reference.txt (fails beyond ${tolerance}x worse)"
while read -r line; do
    [[ -z $line || $line == \#* ]] && continue
    read -r setting direction <<<"$line"
    key=${setting%%=*}
    wanted=${setting#*=}
    script=${key%%.*}
    name=${key#*.}
    [[ -f $work/$script ]] || continue # that script failed, already counted
    measured=$(awk -F= -v k="$name" '$1 == k { v = $2 } END { print v }' "$work/$script")
    if [[ -z $measured ]]; then
        printf '  %-36s missing: bench/%s.sh no longer prints it\n' "$key" "$script"
        worse+=("$key")
        continue
    fi
    # How many times worse than the reference: above 1 is worse, whichever way the ratio runs.
    factor=$(awk -v m="$measured" -v w="$wanted" -v d="${direction:-}" 'BEGIN {
        if (d == "higher") f = (m > 0 ? w / m : 1e9); else f = (w > 0 ? m / w : 1e9)
        printf "%.2f", f }')
    verdict=ok
    if awk -v f="$factor" -v t="$tolerance" 'BEGIN { exit !(f > t) }'; then
        verdict="WORSE"
        worse+=("$key")
    fi
    printf '  %-36s %10s  reference %10s %-7s %5sx  %s\n' "$key" "$measured" "$wanted" \
        "${direction:+(higher)}" "$factor" "$verdict"
    checked=$((checked + 1))
done < "$reference"

if ((failed > 0 || ${#worse[@]} > 0)); then
    problems=()
    ((failed > 0)) && problems+=("$failed benchmark(s) failed to run")
    ((${#worse[@]} > 0)) && problems+=("more than ${tolerance}x worse or missing: ${worse[*]}")
    echo "bench: FAILED: $(IFS=';'; echo "${problems[*]}" | sed 's/;/; /g')"
    exit 1
fi
echo "bench: $checked ratios within ${tolerance}x of their reference"
