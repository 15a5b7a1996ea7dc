# Shared by the end-to-end scripts: a private X server and the program's
# window on it. Source it, then call startXvfb; the EXIT trap stops the
# server, the program (app_pid) and removes $work.

Skip=77

# Skips (exit 77) where a tool is missing; scripts/setup installs them all.
requireTools() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (debian-packages.txt lists it)"
            exit $Skip
        fi
    done
}

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

# Xvfb picks a free display itself and writes its number to fd 3. Extra
# arguments go to Xvfb.
startXvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -s $work/display ]] && break
        sleep 0.1
    done
    [[ -s $work/display ]] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
}

# Sets X and Y to the client area's corner on the screen (no window manager,
# no frame) and `window` to its id.
findWindow() {
    window=$(timeout 30 xdotool search --sync --onlyvisible --name ' Quirlbau - Version' | head -n1) || true
    [[ -n $window ]] || { echo "FAIL: no window"; cat "$work/app.log"; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
