# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers the benchmark scripts share; sourced, not run. Sets `repo` (the repository root) and
# `build` (BUILD_DIR, default build/ in the repository, made absolute).
# shellcheck shell=bash

source "$(dirname "${BASH_SOURCE[0]}")/../.ci/lib.sh"
repo=$kelvora_root
build=$(build_folder build)

# require_built <program> <cmake target...>: stops the script when the program is not built.
require_built() {
    local program=$1
    shift
    if [[ ! -x $program ]]; then
        echo "no $program: build it first (cmake --build $build --target $*)" >&2
        exit 1
    fi
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { printf "%.2f\n", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# strength_lines <bytes> [seed]: at least that many bytes of strength-file lines, CR LF
# terminated: start and maximum lines, comments with Latin-1 umlauts, short and odd lines that
# only look like strength lines, other lines of any length with a few bytes 0x80-0xFF.
strength_lines() {
    awk -v bytes="$1" -v seed="${2:-42}" 'BEGIN {
        srand(seed)
        n = split(",ab,xST,xxST,xxMAX,01st lower,01Max mixed, 01STRENGTH 3000,0STRENGTH,012MAX",
                  odd, ",")
        size = 0
        while (size < bytes) {
            r = rand(); id = sprintf("%02d", int(rand() * 100))
            if (r < 0.15)
                line = id "STRENGTH  " int(rand() * 13) * 1000
            else if (r < 0.30)
                line = id "MAXSTRENGTH   " int(rand() * 13) * 1000
            else if (r < 0.40)
                line = "; Kommentar St" sprintf("%c", 228) "rke " id \
                       " f" sprintf("%c", 252) "r Stufe " int(rand() * 50)
            else if (r < 0.45)
                line = odd[1 + int(rand() * n)]
            else {
                line = id "NAME" int(rand() * 1000) "  "
                len = int(rand() * 70)
                for (i = 0; i < len; i++) {
                    c = rand() < 0.03 ? 128 + int(rand() * 128) : 32 + int(rand() * 95)
                    line = line sprintf("%c", c)
                }
            }
            printf "%s\r\n", line
            size += length(line) + 2
        }
    }'
}

# rewrite_sed_script <start index> <max index>: the save's line rule as a GNU sed -E script.
# The "t" after the CR is stripped clears the substitution flag, so "t done" only sees the ST
# rule; the ST rule is tried first and, when it matched, the MAX rule is skipped.
rewrite_sed_script() {
    local start_value max_value
    start_value=$(printf '%25s %d ' '' $(($1 * 1000)))
    max_value=$(printf '%21s %d ' '' $(($2 * 1000)))
    cat <<EOS
s/\r\$//
t strip
:strip
s/^(..ST.{0,4}).*/\1$start_value/
t done
s/^(..MAX.{0,7}).*/\1$max_value/
:done
s/\$/\r/
EOS
}

# short_strength_lines <bytes> [seed]: at least that many bytes of CR LF lines of 20 to 90 bytes
# each, one in eight a start or maximum line: a file with more lines per megabyte than
# strength_lines gives, where a cost per line shows beside the copying.
short_strength_lines() {
    awk -v bytes="$1" -v seed="${2:-7}" 'BEGIN {
        srand(seed)
        for (i = 0; i < 4096; i++)
            pool = pool sprintf("%c", rand() < 0.03 ? 128 + int(rand() * 128) : 32 + int(rand() * 95))
        size = 0
        while (size < bytes) {
            length_wanted = 20 + int(rand() * 71)
            id = sprintf("%02d", int(rand() * 100))
            r = rand()
            if (r < 1 / 16)
                head = id "STRENGTH  " int(rand() * 13) * 1000 " "
            else if (r < 1 / 8)
                head = id "MAXSTRENGTH   " int(rand() * 13) * 1000 " "
            else
                head = id "NAME" int(rand() * 1000) "  "
            line = head substr(pool, 1 + int(rand() * 4000), length_wanted - length(head))
            printf "%s\r\n", line
            size += length(line) + 2
        }
    }'
}

# settle <file...>: waits until the files' last change (their change time, which no one can set
# back, counts as much as the modification time) is more than three seconds past: a save reads
# a file changed within its time stamps' tick a second time at its end.
settle() {
    local newest
    newest=$(stat -c %Z "$@" | sort -n | tail -n 1)
    while (($(date +%s) - newest <= 4)); do sleep 1; done
}
