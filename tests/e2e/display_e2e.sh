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

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (debian-packages.txt lists it)"
        exit 77
    fi
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
finish() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# No TCP, no socket file: only the abstract socket "@/tmp/.X11-unix/XN".
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -nolisten unix \
    3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
[[ -s $work/display ]] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
number=$(head -n1 "$work/display")
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
expected="quirlbau: no display to open (DISPLAY is not set or not reachable); to run without a screen: xvfb-run -a quirlbau"
if [[ $status -ne 1 || $(cat "$work/none.log") != "$expected" ]]; then
    echo "FAIL: on :$none the program exited with $status and wrote:"
    cat "$work/none.log"
    exit 1
fi
echo "ok   no display on :$none: one line, exit status 1"
echo "PASS"
