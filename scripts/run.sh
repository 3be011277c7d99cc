#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, starts the bundled web sites and then the program; the
# sites stop when the window closes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
lumo_install_packages
lumo_build

sites_port=8613
sites_log="$(mktemp)"
trap 'lumo_stop_sites; rm -f "$sites_log"' EXIT
trap 'exit 130' INT TERM

# True when lumo-sites answers on the port (ours, or one left running from before).
sites_answer() {
    local line found=1
    { exec 3<>"/dev/tcp/127.0.0.1/$sites_port"; } 2>/dev/null || return 1
    printf 'GET /lumo/rideve.txt HTTP/1.0\r\nHost: 127.0.0.1:%s\r\n\r\n' "$sites_port" >&3
    while IFS= read -r -t 2 line <&3; do
        line="${line%$'\r'}"
        [ -z "$line" ] && break
        [ "${line,,}" = "server: lumo-sites" ] && found=0
    done
    exec 3<&- 3>&-
    return $found
}

if ! lumo_start_sites "$sites_log" --port "$sites_port"; then
    if ! sites_answer; then
        cat "$sites_log" >&2
        echo "lumo: lumo-sites did not start on port $sites_port" >&2
        exit 1
    fi
    echo "lumo: using the lumo-sites already running on port $sites_port" >&2
fi

# With a display the window opens as usual; without one, a screenshot is saved instead.
source "$(dirname "${BASH_SOURCE[0]}")/show.sh"
lumo_show
