#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks its control
# fields: the name and version a user installs by, and Depends computed
# from the binary plus the platform plugin and Qt's translations that no
# linker sees.
# Usage: tst_package.sh CPACK BUILD_DIR
set -uo pipefail
cpack=$1 build=$2

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
command -v dpkg-shlibdeps >/dev/null || { echo "FAIL: dpkg-shlibdeps is missing (Debian package dpkg-dev, listed in debian-packages.txt)"; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$cpack" -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 \
    || { cat "$out/cpack.log"; echo "FAIL: cpack"; exit 1; }
debs=("$out"/quirlbau_1.3_*.deb)
[[ -f ${debs[0]} ]] || { ls "$out"; echo "FAIL: no quirlbau_1.3_*.deb"; exit 1; }
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

[[ $(field Package) == quirlbau ]] || fail "Package: $(field Package)"
[[ $(field Version) == 1.3 ]] || fail "Version: $(field Version)"
[[ $(field Section) == science ]] || fail "Section: $(field Section)"
[[ $(field Architecture) == $(dpkg --print-architecture) ]] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) == *@* ]] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
description=$(field Description)
[[ $description == *"Quirlbau draws"* && $description == *"Quirlbau zeichnet"* ]] \
    || fail "Description lacks the English or the German text"

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/quirlbau ./usr/share/applications/de.quirlbau.Quirlbau.desktop \
    ./usr/share/metainfo/de.quirlbau.Quirlbau.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/quirlbau.png; do
    grep -q " $path\$" <<<"$contents" || fail "package lacks $path"
done

((failures == 0)) && echo "$(basename "$deb"): Depends: $depends"
exit $((failures > 0))
