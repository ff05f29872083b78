#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark stage of .ci/test. Fails on what is counted, never on what is timed:
#   counted  bench/count.sh: instructions per line of the save and of the companion, the save's
#            heap allocations and peak memory, the first frame's instructions against the
#            minimal window's. Each must stay within its margin of bench/reference.txt (1.15
#            times for instructions, 1.3 for allocations and memory): a machine's load does not
#            move them, a doubled per-line cost does.
#   timed    listing.sh, startup.sh, compare.sh and batch.sh with modest run counts: their
#            ratios are printed beside the last ones seen, for a reader; another program on the
#            machine moves them by tens of percent, so they decide nothing.
# A benchmark that fails to run, or a measure the reference names that a script no longer
# prints, fails the stage too, so that a renamed measure cannot drop out unnoticed.
#
#   BUILD_DIR=build bash bench/guard.sh         COUNT_ONLY=1 skips the timed scripts
#
# BUILD_DIR (default: build in the repository root) must hold the built benchmarks and the
# companion.
#
# Renewing a counted reference, after a change that costs more (or less) on purpose: run
#   BUILD_DIR=build bash bench/count.sh
# three times on the new build (a quiet machine is not needed), take each measure's largest value
# and write it in bench/reference.txt, keeping its margin; say why in the commit. The timed
# values are only for reading; renew them from a run of this script with its settings below.
set -uo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
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

run_benchmark count
if [[ -z ${COUNT_ONLY:-} ]]; then
    run_benchmark listing RUNS=5
    run_benchmark startup RUNS=10
    run_benchmark compare LARGE_MB=50
    run_benchmark batch FILES=200 FILE_KB=100
fi

# Each reference line is "<script>.<key>=<value>", then "margin <factor>" for a counted measure,
# or "higher" for a timed ratio where the larger is the better one (how many times the other
# program's time ours is).
checked=0
worse=()
echo "--- measured against bench/reference.txt (counted: fails beyond its margin; timed: printed)"
while read -r line; do
    [[ -z $line || $line == \#* ]] && continue
    read -r setting kind margin <<<"$line"
    key=${setting%%=*}
    wanted=${setting#*=}
    script=${key%%.*}
    name=${key#*.}
    [[ -f $work/$script ]] || continue # that script failed or did not run
    measured=$(awk -F= -v k="$name" '$1 == k { v = $2 } END { print v }' "$work/$script")
    if [[ -z $measured ]]; then
        printf '  %-44s missing: bench/%s.sh no longer prints it\n' "$key" "$script"
        worse+=("$key")
        continue
    fi
    # How many times worse than the reference: above 1 is worse, whichever way the ratio runs.
    factor=$(awk -v m="$measured" -v w="$wanted" -v d="${kind:-}" 'BEGIN {
        if (d == "higher") f = (m > 0 ? w / m : 1e9); else f = (w > 0 ? m / w : (m > 0 ? 1e9 : 1))
        printf "%.2f", f }')
    if [[ ${kind:-} == margin ]]; then
        verdict="ok (within ${margin}x)"
        if awk -v f="$factor" -v t="$margin" 'BEGIN { exit !(f > t) }'; then
            verdict="WORSE (beyond ${margin}x)"
            worse+=("$key")
        fi
        checked=$((checked + 1))
    else
        verdict="timed, not judged"
    fi
    printf '  %-44s %10s  reference %10s %-8s %5sx  %s\n' "$key" "$measured" "$wanted" \
        "${kind/margin/}" "$factor" "$verdict"
done < "$reference"

if ((failed > 0 || ${#worse[@]} > 0)); then
    problems=()
    ((failed > 0)) && problems+=("$failed benchmark(s) failed to run")
    ((${#worse[@]} > 0)) && problems+=("beyond the margin or missing: ${worse[*]}")
    echo "bench: FAILED: $(IFS=';'; echo "${problems[*]}" | sed 's/;/; /g')"
    exit 1
fi
echo "bench: $checked counted measures within their margins"
