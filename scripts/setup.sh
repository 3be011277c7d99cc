#!/usr/bin/env bash
# Shared set-up of the README commands: installs the Debian packages the build needs when
# they are missing, then configures and builds with 2 jobs. Sourced, not run.
set -euo pipefail

LUMO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LUMO_BUILD="${LUMO_BUILD:-$LUMO_ROOT/build}"

lumo_packages=(cmake g++ make pkg-config qt6-base-dev qt6-httpserver-dev qt6-websockets-dev
               libgl-dev zlib1g-dev fonts-wqy-microhei xvfb xauth wrk curl desktop-file-utils
               dpkg-dev)

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

lumo_build() {
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$LUMO_ROOT" -B "$LUMO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$LUMO_BUILD" -j2
}
