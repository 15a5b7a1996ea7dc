#!/usr/bin/env bash
# Start-up and the display: the window opens on an X server that listens
# only on its abstract socket (as in containers that do not share
# /tmp/.X11-unix); where no display can be opened, the program prints one
# line and exits with status 1, not with Qt's abort.
#
#   display_e2e.sh QUIRLBAU
#
# Exits 77 (skipped) only where Xvfb or xdotool is missing.
set -euo pipefail

program=${1:?usage: display_e2e.sh path/to/quirlbau}

source "$(dirname "$0")/xserver.sh"
requireTools Xvfb xdotool

# No TCP, no socket file: only the abstract socket "@/tmp/.X11-unix/XN".
startXvfb -nolisten unix
number=${DISPLAY#:}
unset DISPLAY
if [[ -e /tmp/.X11-unix/X$number ]]; then
    echo "FAIL: Xvfb made the socket file /tmp/.X11-unix/X$number after all"
    exit 1
fi

DISPLAY=":$number" env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$program" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(DISPLAY=":$number" timeout 30 xdotool search --sync --onlyvisible --name 'Quirlbau - Version' \
    | head -n1) || true
if [[ -z $window ]]; then
    echo "FAIL: no window on the abstract-socket display :$number"
    cat "$work/app.log"
    exit 1
fi
echo "ok   the window opened on :$number, reachable only through its abstract socket"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=

# A display number nobody holds: no lock file and no socket, not even an
# abstract one, hence no X server.
none=99
while [[ -e /tmp/.X$none-lock ]] || grep -q "/tmp/.X11-unix/X$none\$" /proc/net/unix; do
    none=$((none + 1))
done
status=0
DISPLAY=":$none" env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$program" >"$work/none.log" 2>&1 \
    || status=$?
expected="quirlbau: Keine Anzeige zu öffnen (DISPLAY ist nicht gesetzt oder nicht erreichbar); ohne Bildschirm: xvfb-run -a quirlbau"
if [[ $status -ne 1 || $(cat "$work/none.log") != "$expected" ]]; then
    echo "FAIL: on :$none the program exited with $status and wrote:"
    cat "$work/none.log"
    exit 1
fi
echo "ok   no display on :$none: one line, exit status 1"
echo "PASS"
