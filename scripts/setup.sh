#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up of the README commands: installs the Debian packages the build needs when
# they are missing, then configures and builds with 2 jobs. Sourced, not run.
set -euo pipefail

LUMO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LUMO_BUILD="${LUMO_BUILD:-$LUMO_ROOT/build}"

lumo_packages=(cmake g++ make pkg-config qt6-base-dev qt6-httpserver-dev qt6-websockets-dev
               libgl-dev zlib1g-dev fonts-wqy-microhei qt6-translations-l10n xvfb xauth wrk curl desktop-file-utils
               dpkg-dev help2man lintian appstream systemd libqt6sql6-sqlite libsqlite3-dev sqlite3 dbus-daemon)

lumo_install_packages() {
    local missing=() p
    for p in "${lumo_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
            sudo=(sudo -n)
        else
            echo "lumo: missing Debian packages (${missing[*]}); install them as root: apt-get install ${missing[*]}" >&2
            exit 1
        fi
    fi
    echo "lumo: installing ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures $LUMO_BUILD with the given CMake options and builds it, or only the targets named
# after a "--":  lumo_build [OPTIONS...] [-- TARGETS...]
lumo_build() {
    local launcher=() options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=(--target "$@")
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$LUMO_ROOT" -B "$LUMO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${options[@]}" >/dev/null
    cmake --build "$LUMO_BUILD" -j2 "${targets[@]}"
}

# Starts the built lumo-sites in the background with the given options, its output in LOG:
#   lumo_start_sites LOG [OPTIONS...]
# Sets LUMO_SITES_PID and, once it listens, LUMO_SITES_ORIGIN ("http://127.0.0.1:PORT").
# Fails when the server ends or has not started listening within 10 s.
lumo_start_sites() {
    local log="$1" _
    shift
    "$LUMO_BUILD/sites/lumo-sites" "$@" >"$log" 2>&1 &
    LUMO_SITES_PID=$!
    for _ in $(seq 100); do
        LUMO_SITES_ORIGIN="$(sed -n 's|^listening on \(http://127\.0\.0\.1:[0-9]*\)/$|\1|p' "$log")"
        [ -n "$LUMO_SITES_ORIGIN" ] && return 0
        if ! kill -0 "$LUMO_SITES_PID" 2>/dev/null; then
            wait "$LUMO_SITES_PID" 2>/dev/null || true
            LUMO_SITES_PID=
            return 1
        fi
        sleep 0.1
    done
    return 1
}

# Stops what lumo_start_sites started, if it still runs.
lumo_stop_sites() {
    if [ -n "${LUMO_SITES_PID:-}" ]; then
        kill "$LUMO_SITES_PID" 2>/dev/null || true
        wait "$LUMO_SITES_PID" 2>/dev/null || true
        LUMO_SITES_PID=
    fi
}
