#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a throw-away DESTDIR and checks what landed where:
#   check_install.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
prefix=/usr
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$stage$prefix"

# Only the programs go to bin/; no test program, no static library anywhere.
for program in lumo lumo-sites; do
    [ -x "$root/bin/$program" ] || fail "bin/$program is missing or not executable"
done
for entry in "$root"/bin/* "$root"/bin/.[!.]*; do
    [ -e "$entry" ] || continue
    case "${entry##*/}" in
    lumo | lumo-sites | lumo-cli) ;;
    *) fail "unexpected file in bin/: ${entry##*/}" ;;
    esac
done
strays="$(cd "$stage" && find . \( -name 'tst_*' -o -name '*.a' -o -name '*.so' -o -name '*.so.*' -o -name '*.h' \) -print)"
[ -z "$strays" ] || fail "build leftovers installed: $strays"
outside="$(cd "$stage" && find . -mindepth 1 -maxdepth 1 ! -name "${prefix#/}" -print)"
[ -z "$outside" ] || fail "files outside $prefix: $outside"

# The installed programs must not lean on the build tree.
for program in lumo lumo-sites; do
    [ -f "$root/bin/$program" ] || continue
    dynamic="$(readelf -d "$root/bin/$program")"
    if grep -E 'R(UN)?PATH' <<<"$dynamic" | grep -qF "$build"; then
        fail "bin/$program keeps a run path into the build tree"
    fi
done
help="$("$root/bin/lumo-sites" --help 2>&1 || true)"
grep -q -- '--port' <<<"$help" || fail "installed lumo-sites does not run: $help"

# The menu entry: valid, and pointing at what was installed.
desktop="$root/share/applications/org.example.lumo.desktop"
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
    for line in 'Type=Application' 'Name=Lumo' 'Name[zh_CN]=Lumo过期域名查询工具' 'Exec=lumo' \
                'Icon=lumo' 'Terminal=false' 'Categories=Network;'; do
        grep -qxF "$line" "$desktop" || fail "the menu entry lacks the line $line"
    done
    for key in 'Comment' 'Comment\[zh_CN\]'; do
        grep -qE "^$key=.+" "$desktop" || fail "the menu entry has no $key"
    done
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
    [ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
else
    fail "share/applications/org.example.lumo.desktop is missing"
fi

# Each PNG sits in the folder of its own size (width and height from the IHDR chunk).
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }'; }
for size in 16 24 32 48; do
    icon="$root/share/icons/hicolor/${size}x${size}/apps/lumo.png"
    if [ -f "$icon" ]; then
        actual="$(png_size "$icon")"
        [ "$actual" = "${size}x${size}" ] || fail "${size}x${size}/apps/lumo.png is $actual"
    else
        fail "icon ${size}x${size}/apps/lumo.png is missing"
    fi
done
svg="$root/share/icons/hicolor/scalable/apps/lumo.svg"
grep -q '<svg' "$svg" 2>/dev/null || fail "scalable/apps/lumo.svg is missing or not SVG"

grep -q '^# Lumo' "$root/share/doc/lumo/README.md" 2>/dev/null || fail "share/doc/lumo/README.md is missing"

# The AppStream component: valid, and naming the menu entry by its file name.
metainfo="$root/share/metainfo/org.example.lumo.metainfo.xml"
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net --pedantic "$metainfo" >/dev/null ||
        fail "appstreamcli rejects the metainfo: $(appstreamcli validate --no-net "$metainfo" 2>&1)"
    grep -qF '<launchable type="desktop-id">org.example.lumo.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not launch the installed menu entry"
    grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
else
    fail "share/metainfo/org.example.lumo.metainfo.xml is missing"
fi

# A manual page for every program (lintian, in the package test, checks how they are made).
for program in "$root"/bin/*; do
    page="$root/share/man/man1/${program##*/}.1.gz"
    zcat "$page" 2>/dev/null | grep -qiE "^\.TH \"?${program##*/}\"? \"?1\"? " ||
        fail "no manual page for ${program##*/}"
done
lumo_page="$(zcat "$root/share/man/man1/lumo.1.gz" 2>/dev/null || true)"
for text in LUMO_LISTING_URL LUMO_LOOKUP_URL LUMO_MAKER_URL LUMO_MAKER_NAME LUMO_SUPPORT_CONTACT \
            'lumo\-sites.socket'; do
    grep -qF -- "$text" <<<"$lumo_page" || fail "the lumo page does not mention $text"
done

# Copyright in the machine-readable format, and the changelog of this version.
doc="$root/share/doc/lumo"
head -n 1 "$doc/copyright" 2>/dev/null |
    grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "share/doc/lumo/copyright is missing or not machine-readable"
grep -qxF 'License: GPL-3.0-or-later' "$doc/copyright" 2>/dev/null || fail "copyright names no GPL-3.0-or-later"
grep -qF '"/usr/share/common-licenses/GPL-3"' "$doc/copyright" 2>/dev/null ||
    fail "copyright does not point at the common GPL-3 text"
changelog_version="$(zcat "$doc/changelog.gz" 2>/dev/null | dpkg-parsechangelog -l - -S Version 2>/dev/null || true)"
[ "$changelog_version" = "$version" ] || fail "changelog.gz is at '$changelog_version', not $version"

# The user units: the socket on the bundled address starts the installed lumo-sites. They are
# verified with the program's path moved into the stage, where it really is.
units="$root/lib/systemd/user"
if [ -f "$units/lumo-sites.socket" ] && [ -f "$units/lumo-sites.service" ]; then
    grep -qxF 'ListenStream=127.0.0.1:8613' "$units/lumo-sites.socket" || fail "the socket is not on 127.0.0.1:8613"
    grep -qxF 'WantedBy=sockets.target' "$units/lumo-sites.socket" || fail "the socket is not started at login"
    grep -qxF "ExecStart=$prefix/bin/lumo-sites --idle-exit 10" "$units/lumo-sites.service" ||
        fail "the service does not start $prefix/bin/lumo-sites"
    if command -v systemd-analyze >/dev/null; then
        check="$stage/verify"
        mkdir -p "$check/run"
        cp "$units"/lumo-sites.* "$check/"
        sed -i "s|^ExecStart=$prefix/|ExecStart=$root/|" "$check/lumo-sites.service"
        complaints="$(XDG_RUNTIME_DIR="$check/run" systemd-analyze verify --man=no --user \
                          "$check/lumo-sites.socket" "$check/lumo-sites.service" 2>&1)" ||
            fail "systemd-analyze rejects the units: $complaints"
        [ -z "$complaints" ] || fail "systemd-analyze finds fault with the units: $complaints"
    fi
else
    fail "lib/systemd/user/lumo-sites.socket or lumo-sites.service is missing"
fi

[ "$failures" -eq 0 ] || exit 1
echo "install tree OK"
