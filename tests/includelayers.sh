#!/usr/bin/env bash
# The folders under src/ include each other one way only: no folder below
# app includes app, no handler folder includes another handler folder, the
# widget-free libraries include only the core and each other, and no folder
# includes one that includes it back, also through others. Reads the
# '#include "folder/..."' lines of every file.
#
#   includelayers.sh SRC_DIR
set -euo pipefail

src=${1:?usage: includelayers.sh SRC_DIR}
status=0
handlers=" render section palette pictures "
widgetFree=" core deep export picturefile "
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT

for dir in "$src"/*/; do
    folder=$(basename "$dir")
    for used in $(grep -rhoE '^#include "[A-Za-z0-9_]+/' "$dir" | sed -E 's/^#include "//; s/\/$//' | sort -u); do
        [[ $used == "$folder" || ! -d $src/$used ]] && continue
        echo "$folder includes $used"
        # tsort reads "before after": what is used comes first.
        echo "$used $folder" >>"$edges"
        why=""
        if [[ $used == app ]]; then
            why="$folder includes app"
        elif [[ $handlers == *" $folder "* && $handlers == *" $used "* ]]; then
            why="handler $folder includes handler $used"
        elif [[ $widgetFree == *" $folder "* && $widgetFree != *" $used "* ]]; then
            why="widget-free $folder includes $used"
        fi
        if [[ -n $why ]]; then
            echo "FAIL: $why:"
            grep -rnE "^#include \"$used/" "$dir"
            status=1
        fi
    done
done

if ! tsort "$edges" >/dev/null 2>"$edges.err"; then
    echo "FAIL: folders include each other in a circle:"
    cat "$edges.err"
    status=1
fi
rm -f "$edges.err"
((status == 0)) && echo "PASS: the folders include each other one way"
exit $status
