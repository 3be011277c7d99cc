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
long_lines="$(dpkg-deb -I "$deb" control | sed -n '/^Description:/,/^[^ ]/p' | awk 'length > 80')"
[ -z "$long_lines" ] || fail "Description lines wider than 80 columns: $long_lines"

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
for path in ./usr/bin/lumo ./usr/bin/lumo-cli ./usr/bin/lumo-sites ./usr/share/applications/org.example.lumo.desktop \
            ./usr/share/icons/hicolor/16x16/apps/lumo.png ./usr/share/icons/hicolor/24x24/apps/lumo.png \
            ./usr/share/icons/hicolor/32x32/apps/lumo.png ./usr/share/icons/hicolor/48x48/apps/lumo.png \
            ./usr/share/icons/hicolor/scalable/apps/lumo.svg ./usr/share/doc/lumo/README.md \
            ./usr/share/doc/lumo/copyright ./usr/share/doc/lumo/changelog.gz \
            ./usr/share/man/man1/lumo.1.gz ./usr/share/man/man1/lumo-sites.1.gz \
            ./usr/share/metainfo/org.example.lumo.metainfo.xml \
            ./usr/lib/systemd/user/lumo-sites.socket ./usr/lib/systemd/user/lumo-sites.service \
            ./usr/lib/systemd/user/lumo-sites-refresh.timer ./usr/lib/systemd/user/lumo-sites-refresh.service; do
    grep -qxF "$path" <<<"$files" || fail "package lacks $path"
done
strays="$(grep -E '/tst_|\.a$|\.so(\.|$)|^\./usr/local/' <<<"$files" || true)"
[ -z "$strays" ] || fail "package carries build leftovers: $strays"
perms="$(dpkg-deb -c "$deb" | awk '$NF ~ /^\.\/usr\/bin\/lumo(-cli|-sites)?$/ { print $1 }')"
[ "$(grep -c '^-rwxr-xr-x$' <<<"$perms")" -eq 3 ] || fail "programs are not mode 0755: $perms"

# The maintainer scripts, run on the unpacked package under DPKG_ROOT (so the machine's own
# units are left alone): installing enables the socket for every user, removing takes it back.
scripts="$(dpkg-deb --ctrl-tarfile "$deb" | tar -tvf - | awk '{ print $1, $NF }')"
for script in postinst prerm postrm; do
    grep -qxF -- "-rwxr-xr-x ./$script" <<<"$scripts" || fail "no executable $script: $scripts"
done
tree="$out/tree"
dpkg-deb -R "$deb" "$tree"
maintscript() {
    DPKG_ROOT="$tree" DPKG_MAINTSCRIPT_PACKAGE=lumo DPKG_MAINTSCRIPT_NAME="$1" \
        "$tree/DEBIAN/$1" "$2" >"$out/$1.log" 2>&1 || fail "$1 $2 failed: $(cat "$out/$1.log")"
}
wanted="$tree/etc/systemd/user/sockets.target.wants/lumo-sites.socket"
maintscript postinst configure
[ "$(readlink "$wanted" 2>/dev/null)" = /usr/lib/systemd/user/lumo-sites.socket ] ||
    fail "postinst does not enable lumo-sites.socket for every user"
maintscript prerm remove
maintscript postrm remove
[ ! -e "$wanted" ] && [ ! -L "$wanted" ] || fail "postrm remove leaves lumo-sites.socket enabled"
maintscript postrm purge
leftovers="$(find "$tree/etc" "$tree/var" ! -type d 2>/dev/null || true)"
[ -z "$leftovers" ] || fail "purging leaves: $leftovers"

# prerm remove ends what runs the package's lumo-sites, under whatever name, and nothing that
# only looks like it. Its copy here names a stand-in and leaves the machine's units alone.
fake="$out/fake"
mkdir -p "$fake"
cp "$(command -v sleep)" "$fake/lumo-sites"
ln "$fake/lumo-sites" "$fake/same-file"
cp "$fake/lumo-sites" "$fake/other-file"
"$fake/same-file" 30 &
same=$!
"$fake/other-file" 30 &
other=$!
sed -e "s|^program=.*|program=$fake/lumo-sites|" -e 's|/run/systemd/system|/nonexistent|' \
    "$tree/DEBIAN/prerm" >"$fake/prerm"
sh "$fake/prerm" remove || fail "prerm remove failed"
sleep 0.5
[ "$(cut -d' ' -f3 "/proc/$other/stat" 2>/dev/null)" = S ] || fail "prerm ended a process that runs another file"
kill "$other" 2>/dev/null || true
same_status=0
wait "$same" || same_status=$?
[ "$same_status" -eq 143 ] || fail "prerm did not end the process that runs its lumo-sites (status $same_status)"
wait "$other" || true

# The user service keeps the sandboxing a user manager can set up: it scored 9.6 without it.
service="$tree/usr/lib/systemd/user/lumo-sites.service"
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$out/run"
    exposure="$(XDG_RUNTIME_DIR="$out/run" systemd-analyze security --offline=true "$service" 2>&1 |
                    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')"
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 6.2) }' ||
        fail "the user service's exposure is '$exposure', above 6.2"
fi

# lintian: no error, and every warning it still gives is named, with its reason, in the
# README that the package carries.
lintian_out="$(lintian --allow-root "$deb" 2>&1 || true)"
! grep -q '^E: ' <<<"$lintian_out" || fail "lintian finds errors: $lintian_out"
readme="$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/lumo/README.md | sed -n '/^## Install/,/^## /p')"
for tag in $(sed -n 's/^W: [^:]*: \([a-z0-9-]*\).*/\1/p' <<<"$lintian_out" | sort -u); do
    grep -qF -- "$tag" <<<"$readme" || fail "lintian warns $tag, which README's Install section does not name"
done

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb") OK"
