#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every include points down: a folder includes only its own headers and those of the folders it
# builds on. The build already refuses an include that points up (each library hands out only its
# own folder's headers); this check names the line at once, for folders and sides alike.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A below=(
    [platform]="platform"
    [rewrite]="rewrite platform"
    [convert]="convert"
    [resources]="resources"
    [rating]="rating rewrite platform resources"
    [browse]="browse rewrite platform resources"
    [app]="app browse rating rewrite convert resources platform"
    [cli]="cli rewrite platform"
)
bad=0
for folder in "${!below[@]}"; do
    while IFS=: read -r file line target; do
        [[ " ${below[$folder]} " == *" $target "* ]] && continue
        echo "$file:$line: $folder/ includes $target/, which builds on it" >&2
        bad=1
    done < <(grep -rnoE '^#include "[a-z]+/' "$folder" | sed -E 's/#include "([a-z]+)\//\1/')
done
((bad == 0)) && echo "includes: every include points down"
