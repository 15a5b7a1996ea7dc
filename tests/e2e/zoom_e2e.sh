#!/usr/bin/env bash
# One whole zoom as a person does it: the real program on an X server,
# three double-clicks with the real mouse, the four fields read back
# through the clipboard; then Start, and the zoomed section's picture
# compared pixel by pixel with the kernel's.
# Usage: zoom_e2e.sh path/to/quirlbau path/to/picturecheck
set -euo pipefail

program=${1:?usage: zoom_e2e.sh path/to/quirlbau path/to/picturecheck}
picturecheck=${2:?usage: zoom_e2e.sh path/to/quirlbau path/to/picturecheck}
Skip=77

for tool in Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/setup installs it)"
        exit $Skip
    fi
done
if ! command -v xclip >/dev/null; then
    echo "FAIL: xclip is not installed (scripts/setup installs it)"
    exit 1
fi

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
finish() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s "$work/display" ]] && break
    sleep 0.1
done
if [[ ! -s "$work/display" ]]; then
    echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# A comma locale, which the program is made for. Qt reads the names from
# the environment even where the C library lacks the locale.
env -u LC_ALL -u QT_QPA_PLATFORM LANG=de_DE.UTF-8 LC_CTYPE=C.UTF-8 \
    "$program" >"$work/app.log" 2>&1 &
app_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name 'Quirlbau - Version' | head -n1) || true
if [[ -z "$window" ]]; then
    echo "FAIL: the window did not appear"; cat "$work/app.log"; exit 1
fi
# Away from the screen's corner, so that client and screen positions differ.
xdotool windowmove --sync "$window" 137 71 || true
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y: client area on the screen
echo "window $window at ($X, $Y) on $DISPLAY"

# Client-area logical pixels to screen pixels; the window runs at 96 dpi.
moveTo() {
    xdotool mousemove --sync $((X + $1)) $((Y + $2))
}

# Apart by more than the double-click interval, so that no click pairs
# with one of the neighbouring double-click.
doubleClick() {
    moveTo "$1" "$2"
    xdotool click --repeat 2 --delay 60 1
    sleep 0.7
}

readField() {
    printf 'unread' | xclip -selection clipboard -i
    moveTo "$1" "$2"
    xdotool click 1
    xdotool key --clearmodifiers ctrl+a ctrl+c
    local text=unread
    for _ in $(seq 50); do
        text=$(xclip -selection clipboard -o 2>/dev/null || true)
        [[ "$text" != unread ]] && break
        sleep 0.1
    done
    printf '%s' "$text"
}

# The surface's upper left corner stands in for the origin; the y of the
# third double-click does not count.
doubleClick 100 200
doubleClick 200 300
doubleClick 300 380

# The centres of txtX0, txtX1, txtY0, txtY1 (twips / 15).
fields=("$(readField 606 17)" "$(readField 606 40)" "$(readField 606 60)" "$(readField 606 80)")
expected=("-1,402375" "-1,40225" "0,000125" "0,00025")

if [[ -n "${E2E_SCREENSHOT:-}" ]] && command -v import >/dev/null; then
    import -window root "$E2E_SCREENSHOT"
fi

status=0
names=(txtX0 txtX1 txtY0 txtY1)
for i in 0 1 2 3; do
    if [[ "${fields[$i]}" == "${expected[$i]}" ]]; then
        echo "ok   ${names[$i]} = ${fields[$i]}"
    else
        echo "FAIL ${names[$i]} = '${fields[$i]}', expected '${expected[$i]}'"
        status=1
    fi
done

# The zoomed section drawn: cbStart's middle is pixel (650, 130), the
# surface's corner pixel (96, 4).
if ((status == 0)); then
    moveTo 650 130
    xdotool click 1
    matched=0
    for _ in $(seq 120); do
        import -window root "$work/shot.png"
        if "$picturecheck" "$work/shot.png" $((X + 96)) $((Y + 4)) \
            -1.402375 -1.40225 0.000125 0.00025 300 >"$work/check.txt"; then
            matched=1
            break
        fi
        sleep 0.5
    done
    cat "$work/check.txt"
    if ((matched)); then
        echo "ok   the zoomed section's picture"
    else
        echo "FAIL the zoomed section's picture never matched"
        status=1
    fi
fi
if ((status)); then
    echo "--- program output"; cat "$work/app.log"
fi
exit $status
