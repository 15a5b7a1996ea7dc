#!/usr/bin/env bash
# Installs into a scratch DESTDIR and checks what a Linux desktop looks for:
# the program in bin/, a valid menu entry, valid AppStream metainfo, and an
# icon of the right size wherever the entry's Icon= name is looked up.
# Usage: tst_install.sh CMAKE BUILD_DIR
set -uo pipefail
cmake=$1 build=$2
app=de.quirlbau.Quirlbau
iconSizes=(16 22 24 32 48 64 128 256)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing (Debian package $2, listed in debian-packages.txt)"; exit 1; }; }
need desktop-file-validate desktop-file-utils
need appstreamcli appstream

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
usr=$root/usr
desktop=$usr/share/applications/$app.desktop
metainfo=$usr/share/metainfo/$app.metainfo.xml

entry() { sed -n "s/^$1=//p" "$desktop"; }

# PNG header: signature, then IHDR with width, height (big-endian), bit
# depth and colour type. Prints "W H DEPTH TYPE".
pngHeader() {
    [[ $(od -An -tx1 -N8 "$1" | tr -d ' \n') == 89504e470d0a1a0a ]] || { echo "not-a-png"; return; }
    od -An -tu1 -j16 -N10 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8, $9, $10 }'
}

checkPng() { # file width height [depth type]
    local got
    [[ -f $1 ]] || { fail "missing ${1#$root}"; return; }
    got=$(pngHeader "$1")
    read -r w h depth type <<<"$got"
    [[ "$w $h" == "$2 $3" ]] || fail "${1#$root} is ${w}x${h}, wanted $2x$3"
    [[ -z ${4:-} || "$depth $type" == "$4 $5" ]] || fail "${1#$root}: bit depth $depth colour type $type, wanted $4 $5"
}

[[ -x $usr/bin/quirlbau ]] || fail "no executable usr/bin/quirlbau"

if [[ ! -f $desktop ]]; then
    fail "missing menu entry ${desktop#$root}"
else
    # Hints are allowed: Education;Science;Math; names two main categories on purpose.
    report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
    grep -E 'error:|warning:' <<<"$report" && fail "desktop-file-validate complains"
    for key in Exec TryExec; do
        program=$(entry $key)
        [[ -x $usr/bin/${program%% *} ]] || fail "$key=$program is not an installed program"
    done
    # The entry opens a file it is given, without claiming PNGs for itself.
    [[ $(entry Exec) == "quirlbau %f" ]] || fail "Exec=$(entry Exec), wanted quirlbau %f"
    grep -q '^MimeType=' "$desktop" && fail "the menu entry claims MIME types"
    [[ $(entry Categories) == "Education;Science;Math;" ]] || fail "Categories=$(entry Categories)"
    [[ -n $(entry 'Name\[de\]') && -n $(entry 'Comment\[de\]') ]] || fail "no German Name or Comment"
    icon=$(entry Icon)
    for size in "${iconSizes[@]}"; do
        checkPng "$usr/share/icons/hicolor/${size}x$size/apps/$icon.png" "$size" "$size"
    done
    # The picture the window shows: 300 x 300, 8-bit palette (PNG colour type 3).
    checkPng "$usr/share/pixmaps/$icon.png" 300 300 8 3
    extra=$(find "$usr/share/icons/hicolor" -name '*.png' | wc -l)
    [[ $extra -eq ${#iconSizes[@]} ]] || fail "$extra icon files in hicolor, wanted ${#iconSizes[@]}"
fi

if [[ ! -f $metainfo ]]; then
    fail "missing metainfo ${metainfo#$root}"
else
    report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
    grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" \
        || fail "metainfo does not launch $app.desktop"
    grep -q '<summary xml:lang="de">' "$metainfo" || fail "no German summary"
    grep -q '<image>https://[^<]*/docs/screenshot.png</image>' "$metainfo" \
        || fail "no screenshot reference to docs/screenshot.png"
    grep -q '@[A-Z_]*@' "$metainfo" && fail "metainfo has unreplaced @VARIABLES@"
fi

((failures == 0)) && echo "install tree complete and valid"
exit $((failures > 0))
