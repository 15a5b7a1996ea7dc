#!/usr/bin/env bash
# The real program on an X server: start Xvfb, click Start with xdotool,
# wait until the picture is complete and steady, compare it pixel by pixel.
#
#   render_e2e.sh QUIRLBAU PICTURECHECK
#
# Exits 77 (skipped) only where Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail

quirlbau=$1
picturecheck=$2

source "$(dirname "$0")/xserver.sh"
requireTools Xvfb xdotool import
startXvfb
export QT_QPA_PLATFORM=xcb

"$quirlbau" 2>"$work/app.log" &
app_pid=$!
findWindow

# cbStart lies at (9360, 1800) twips, 795 × 315: its middle is pixel (650, 130).
# The drawing surface's corner is at (1440, 60) twips: pixel (96, 4).
xdotool mousemove --sync $((X + 650)) $((Y + 130)) click 1
left=$((X + 96))
top=$((Y + 4))

shot() { import -window root "$work/shot.png"; }
matched=0
for _ in $(seq 120); do
    shot
    if "$picturecheck" "$work/shot.png" "$left" "$top" >"$work/check.txt"; then
        matched=1
        break
    fi
    sleep 0.5
done
if [[ $matched -eq 0 ]]; then
    echo "FAIL: the picture never matched; last comparison:"
    cat "$work/check.txt"
    exit 1
fi

# Steady: nothing draws after the run is complete, so a second look a
# second later shows the same (the wait is what is checked, not a hope).
sleep 1
shot
if ! "$picturecheck" "$work/shot.png" "$left" "$top" >"$work/check.txt"; then
    echo "FAIL: the picture changed after it was complete:"
    cat "$work/check.txt"
    exit 1
fi
cat "$work/check.txt"
kill -0 "$app_pid" || { echo "FAIL: quirlbau is gone"; exit 1; }
echo "PASS"
