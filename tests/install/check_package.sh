#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree into a throw-away folder and checks its control
# fields and file list:  check_package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    exit 1
fi
arch="$(dpkg --print-architecture)"
debs=("$out"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: expected one .deb, got: ${debs[*]}" >&2
    exit 1
fi
deb="${debs[0]}"
[ "$(basename "$deb")" = "lumo_${version}_${arch}.deb" ] || fail "package file is named $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = lumo ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = net ] || fail "Section is '$(field Section)'"
grep -qE '^[^<]+ <[^>]+@[^>]+>$' <<<"$(field Maintainer)" || fail "Maintainer is '$(field Maintainer)'"
description="$(field Description)"
[ "$(wc -l <<<"$description")" -ge 2 ] || fail "Description has no long text: $description"
! grep -q ';' <<<"$description" || fail "Description carries CMake list separators: $description"

# Depends is a comma-separated list; alternatives inside one item are separated by |.
depends="$(field Depends)"
items="$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ *$//')"
has_item() { grep -qE "^$1( \\(|\$)" <<<"$items"; }
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6httpserver6 qt6-qpa-plugins; do
    has_item "$lib" || fail "Depends lacks $lib: $depends"
done
grep -qE '^fonts-wqy-microhei \| fonts-noto-cjk$' <<<"$items" || fail "Depends lacks a CJK font: $depends"

# File list: the programs, the menu entry, the icons and the README, nothing built for tests.
files="$(dpkg-deb -c "$deb" | awk '{ print $NF }')"
for path in ./usr/bin/lumo ./usr/bin/lumo-sites ./usr/share/applications/lumo.desktop \
            ./usr/share/icons/hicolor/16x16/apps/lumo.png ./usr/share/icons/hicolor/24x24/apps/lumo.png \
            ./usr/share/icons/hicolor/32x32/apps/lumo.png ./usr/share/icons/hicolor/48x48/apps/lumo.png \
            ./usr/share/icons/hicolor/scalable/apps/lumo.svg ./usr/share/doc/lumo/README.md; do
    grep -qxF "$path" <<<"$files" || fail "package lacks $path"
done
strays="$(grep -E '/tst_|\.a$|\.so(\.|$)|^\./usr/local/' <<<"$files" || true)"
[ -z "$strays" ] || fail "package carries build leftovers: $strays"
perms="$(dpkg-deb -c "$deb" | awk '$NF == "./usr/bin/lumo" || $NF == "./usr/bin/lumo-sites" { print $1 }')"
[ "$(grep -c '^-rwxr-xr-x$' <<<"$perms")" -eq 2 ] || fail "programs are not mode 0755: $perms"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb") OK"
