#!/usr/bin/env bash
# Pictures on a real X server, where the keys are the ones users have:
# the text fields keep Ctrl+A/C/X/V/Z and redo; Alt+Left goes back; Ctrl+Shift+C copies the picture;
# Ctrl+S, a path typed into Qt's save dialog, and the file holds the
# kernel's picture; `quirlbau FILE.png` shows it again without a run.
#
#   pictures_e2e.sh QUIRLBAU PICTURECHECK
set -euo pipefail

quirlbau=$1
picturecheck=$2
source "$(dirname "$0")/xserver.sh"
requireTools Xvfb xdotool xclip import
startXvfb

# A comma locale, which the program is made for.
startProgram() {
    env -u LC_ALL -u QT_QPA_PLATFORM LANG=de_DE.UTF-8 LC_CTYPE=C.UTF-8 \
        "$quirlbau" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
    findWindow
}
at() { xdotool mousemove --sync $((X + $1)) $((Y + $2)); }
# The surface's corner is at pixel (96, 4) of the client area.
surfaceMatches() {
    import -window root "$work/shot.png"
    "$picturecheck" "$work/shot.png" $((X + 96)) $((Y + 4)) >"$work/check.txt"
}
waitFor() { # COMMAND...: up to 60 s
    for _ in $(seq 120); do
        "$@" && return 0
        sleep 0.5
    done
    return 1
}
clipboard() { xclip -selection clipboard -o "$@" 2>/dev/null; }
# txtX0's text, through the clipboard, by the field's own Ctrl+A Ctrl+C.
fieldText() {
    printf 'unread' | xclip -selection clipboard -i
    xdotool key --clearmodifiers ctrl+a ctrl+c
    local text=unread
    for _ in $(seq 50); do
        text=$(clipboard || true)
        [[ $text != unread ]] && break
        sleep 0.1
    done
    printf '%s' "$text"
}
failures=0
expect() { # WHAT GOT WANTED
    if [[ $2 == "$3" ]]; then echo "ok   $1"; else echo "FAIL $1: '$2', expected '$3'"; failures=$((failures + 1)); fi
}
check() { # WHAT COMMAND...: on failure, what the picture check found
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1:"; cat "$work/check.txt"; failures=$((failures + 1)); fi
}
fileMatches() { "$picturecheck" "$1" 0 0 >"$work/check.txt"; }

startProgram
at 650 130 && xdotool click 1 # cbStart
waitFor surfaceMatches || { echo "FAIL: the run's picture never appeared"; cat "$work/check.txt"; exit 1; }

at 606 17 && xdotool click 1 # txtX0
expect "Ctrl+C copies the field" "$(fieldText)" "-1,4025"
xdotool key --clearmodifiers ctrl+a ctrl+x ctrl+v ctrl+v
expect "Ctrl+X, Ctrl+V paste into the field" "$(fieldText)" "-1,4025-1,4025"
# Selecting all ends what could be redone, so redo comes right after undo.
# X11's key scheme redoes with Ctrl+Shift+Z (Ctrl+Y is Windows' and KDE's).
xdotool key --clearmodifiers ctrl+z ctrl+shift+z
expect "Ctrl+Z, Ctrl+Shift+Z undo and redo in the field" "$(fieldText)" "-1,4025-1,4025"
xdotool key --clearmodifiers ctrl+z
expect "Ctrl+Z undoes in the field" "$(fieldText)" "-1,4025"

# Example 5 drawn, then Alt+Left with the focus in a field: the start
# section's picture is back at once.
settled() {
    import -window root "$work/a.png"
    sleep 0.3
    import -window root "$work/b.png"
    cmp -s "$work/a.png" "$work/b.png" && ! surfaceMatches
}
at 604 280 && xdotool click 1 # cbF5
at 650 130 && xdotool click 1 # cbStart
waitFor settled || { echo "FAIL: example 5 was never drawn"; exit 1; }
at 606 17 && xdotool click 1 # txtX0
xdotool key --clearmodifiers alt+Left
check "Alt+Left in a field goes back to the start section's picture" waitFor surfaceMatches

# The field's text was the clipboard's until now; the program offers a
# picture once it owns the clipboard again.
offersPicture() { clipboard -t TARGETS | grep -qx image/png; }
xdotool key --clearmodifiers ctrl+shift+c
waitFor offersPicture || echo "the clipboard never offered a picture"
clipboard -t image/png >"$work/copied.png" || true
check "Ctrl+Shift+C copies the picture" fileMatches "$work/copied.png"
expect "the section beside it" "$(clipboard -t text/plain | head -n1)" "X0 = -1.4025"

saved="$work/gespeichert/bild.png"
mkdir -p "$(dirname "$saved")"
xdotool key --clearmodifiers ctrl+s
timeout 20 xdotool search --sync --onlyvisible --name '^Bild speichern$' >/dev/null \
    || { echo "FAIL: no save dialog"; exit 1; }
xdotool type --delay 15 "$saved"
xdotool key Return
waitFor test -s "$saved" || { echo "FAIL: $saved was not written"; exit 1; }
check "Ctrl+S saved the kernel's picture, every pixel" fileMatches "$saved"

kill "$app_pid" && wait "$app_pid" 2>/dev/null || true
startProgram "$saved"
check "quirlbau FILE.png shows the saved picture" waitFor surfaceMatches

((failures == 0)) && echo PASS || cat "$work/app.log"
exit $((failures > 0))
