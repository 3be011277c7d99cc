#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bundled sites under load: wrk, 64 connections, 5 s on a list page, twice. No errors and
# no non-2xx answers may come back, and the server's memory must stay flat between the runs.
#   sites_load.sh LUMO_SITES_PROGRAM
set -euo pipefail
seconds="${LOAD_SECONDS:-5}"
log="$(mktemp)"
"$1" --port 0 --demo >"$log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do grep -q '^listening on ' "$log" && break; sleep 0.1; done
origin="$(sed -n 's|^listening on \(http://127.0.0.1:[0-9]*\)/$|\1|p' "$log")"
[ -n "$origin" ] || { echo "lumo-sites did not start"; cat "$log"; exit 1; }

# Pages are read whole before they are searched: a reader that stops early would make curl
# fail on the closed pipe.
home="$(curl -s "$origin/")"
day="$(grep -o 'deleteddate.php?date=2011-[0-9-]*' <<<"$home" | sed -n '1s/.*=//p')"
url="$origin/deleteddomain.php?date=$day&t=inter&page=3&tld=.com&length=6"
grep -q 'whois.php?domain=' <<<"$(curl -s "$url")" || { echo "no names on $url"; exit 1; }

rss() { awk '/^VmRSS/ {print $2}' "/proc/$pid/status"; }
run() {
    local out
    out="$(wrk -t2 -c64 -d"${seconds}s" "$url")"
    echo "$out" | grep -E 'Requests/sec|requests in'
    if grep -qE 'Socket errors|Non-2xx' <<<"$out"; then echo "$out"; echo "FAIL: errors under load"; exit 1; fi
}
run
first="$(rss)"
run
second="$(rss)"
echo "resident memory: $first kB after the first run, $second kB after the second"
# Flat: the second run may not add more than 8 MB to what the first one left.
[ "$second" -le $((first + 8192)) ] || { echo "FAIL: memory grew under load"; exit 1; }
grep -q '四天后的删除域名查询' <<<"$(curl -sf "$origin/")" || { echo "FAIL: no answer after the load"; exit 1; }
echo "PASS"
