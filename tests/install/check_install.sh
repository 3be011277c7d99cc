#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a throw-away DESTDIR and checks what landed where:
#   check_install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix=/usr
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$stage$prefix"

# Only the two programs go to bin/; no test program, no static library anywhere.
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
strays="$(cd "$stage" && find . \( -name 'tst_*' -o -name '*.a' -o -name '*.so*' -o -name '*.h' \) -print)"
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
desktop="$root/share/applications/lumo.desktop"
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects lumo.desktop"
    for line in 'Type=Application' 'Name=Lumo' 'Name[zh_CN]=Lumo过期域名查询工具' 'Exec=lumo' \
                'Icon=lumo' 'Terminal=false' 'Categories=Network;'; do
        grep -qxF "$line" "$desktop" || fail "lumo.desktop lacks the line $line"
    done
    for key in 'Comment' 'Comment\[zh_CN\]'; do
        grep -qE "^$key=.+" "$desktop" || fail "lumo.desktop has no $key"
    done
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
    [ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
else
    fail "share/applications/lumo.desktop is missing"
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

[ "$failures" -eq 0 ] || exit 1
echo "install tree OK"
