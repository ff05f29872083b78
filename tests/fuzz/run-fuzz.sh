#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the line reader and the rewrite rule against the reference model for the given number
# of seconds (default 60), starting from the seed corpus in tests/fuzz/corpus. Builds the
# clang tree build-fuzz/ first if needed. Inputs libFuzzer finds go to build-fuzz/fuzz-corpus/,
# a failing input to build-fuzz/fuzz-artifacts/; the seed corpus is only read.
# Usage: tests/fuzz/run-fuzz.sh [seconds]
set -euo pipefail
seconds=${1:-60}
source "$(dirname "$0")/../../.ci/lib.sh"
repo=$kelvora_root
build=$(BUILD_DIR=${FUZZ_BUILD_DIR:-} build_folder build-fuzz)
flags="-fsanitize=fuzzer-no-link $sanitizer_flags"

# Warnings are enforced in the gcc build; this tree only looks for crashes and mismatches.
mkdir -p "$build"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$sanitizer_link_flags" \
    -DKELVORA_FUZZ=ON -DKELVORA_WERROR=OFF >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target fuzz_linerewrite -j"$(nproc)"

work="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$work" "$artifacts"
log="$build/fuzz.log"
status=0
use_sanitizer_options
"$build/tests/fuzz/fuzz_linerewrite" \
    -max_total_time="$seconds" -print_final_stats=1 -max_len=2048 -timeout=10 \
    -dict="$repo/tests/fuzz/linerewrite.dict" -artifact_prefix="$artifacts/" \
    "$work" "$repo/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
grep -E '^(#[0-9]+ +(INITED|DONE)|Done )' "$log" || true
if ((status != 0)); then
    # The mismatch or sanitizer report and what follows it, not the whole run.
    sed -n '/disagree\|ERROR: \|runtime error/,$p' "$log" | head -n 120
    echo "fuzz: FAILED after ${executions:-?} executions; failing input in $artifacts/"
    ls -1 "$artifacts"
    exit "$status"
fi
echo "fuzz: ${executions:-?} executions in ${seconds} s, no crash or mismatch" \
    "($(find "$work" -type f | wc -l) inputs in $work)"
