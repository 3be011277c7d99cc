#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# lumo_show: opens the window. On a machine without a display it runs the window on a
# virtual one (Xvfb) instead, waits until the start-up dates are in, saves a screenshot of
# the window as lumo-screenshot.png in the build folder, prints its path and ends.
# Sourced after setup.sh, which gives LUMO_BUILD and lumo_install_packages.

# A fingerprint of what the window shows now: lumo_window_picture DISPLAY WINDOW.
lumo_window_picture() {
    DISPLAY="$1" import -window "$2" rgb:- 2>/dev/null | md5sum || true
}

lumo_show() {
    local program="$LUMO_BUILD/src/lumo"
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        "$program"
        return
    fi
    lumo_install_packages xdotool imagemagick

    local shot="$LUMO_BUILD/lumo-screenshot.png" numberfile xvfb display="" lumo window="" _
    numberfile="$(mktemp)"
    # -displayfd picks a free display and writes its number once the server is ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberfile" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$numberfile" ] && break
        sleep 0.1
    done
    [ -s "$numberfile" ] && display=":$(head -n 1 "$numberfile")"
    rm -f "$numberfile"
    if [ -z "$display" ]; then
        kill "$xvfb" 2>/dev/null || true
        echo "lumo: the virtual display did not start" >&2
        return 1
    fi

    DISPLAY="$display" "$program" &
    lumo=$!
    window="$(DISPLAY="$display" timeout 30 xdotool search --sync --onlyvisible --class lumo |
              head -n 1)" || true
    if [ -n "$window" ]; then
        # The start-up cover stands still until the dates are in; then the window changes
        # (the cover drops, the clock shows). Wait for that, 20 s at most.
        local first
        sleep 0.3
        first="$(lumo_window_picture "$display" "$window")"
        for _ in $(seq 80); do
            sleep 0.25
            [ "$(lumo_window_picture "$display" "$window")" != "$first" ] && break
        done
        sleep 1 # let the first clock tick land
        DISPLAY="$display" import -window "$window" "$shot"
    fi
    kill "$lumo" "$xvfb" 2>/dev/null || true
    wait "$lumo" "$xvfb" 2>/dev/null || true
    if [ -z "$window" ]; then
        echo "lumo: the window did not appear" >&2
        return 1
    fi
    echo "$shot"
}
