#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks (Release, build-bench/) and runs all six, then prints each figure
# against its target. Not part of the test suite: a missed target is reported, never an
# error; the script fails only when something cannot be built or run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
LUMO_BUILD="$LUMO_ROOT/build-bench"

lumo_install_packages libbenchmark-dev wrk curl libcurl4-openssl-dev
lumo_build -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_BENCH=ON -DLUMO_BUILD_TESTS=OFF

export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.qpa.*=false"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
out="$(mktemp -d)"
cleanup() {
    lumo_stop_sites
    rm -rf "$out"
}
trap cleanup EXIT
bin="$LUMO_BUILD/bench"

echo "== 1: a fetch waiting 5 s on a silent server"
"$bin/bench_window" idle | tee -a "$out/results"
echo "== 2, 3: 5,000 names through Form1 against libcurl, with a 10 ms probe timer"
"$bin/bench_window" list | tee -a "$out/results"
echo "== 4: scrapers on 10 MB pages"
"$bin/bench_scrapers" --benchmark_color=false | tee "$out/scrapers"
sed 's/\x1b\[[0-9;]*m//g' "$out/scrapers" | grep '^RESULT' >>"$out/results" || true
echo "== 5: memory after listing 20,000 names"
"$bin/bench_window" memory | tee -a "$out/results"

echo "== 6: wrk, 10 s, 32 connections: list pages, then a static 10 kB page"
lumo_start_sites "$out/sites.log" --port 0 --today 2024-03-05 --cell-size 5000 \
    --static-page 10240 || { echo "lumo-sites did not start: $(cat "$out/sites.log")" >&2; exit 1; }
origin="$LUMO_SITES_ORIGIN"
wrk -t2 -c32 -d10s -s "$LUMO_ROOT/bench/list_pages.lua" "$origin" | tee "$out/wrk-list"
wrk -t2 -c32 -d10s "$origin/static.html" | tee "$out/wrk-static"
# Requests per second, and every error wrk counts (socket errors, non-2xx answers).
rps() { awk '/^Requests\/sec:/ {print $2}' "$1"; }
errors() {
    awk '/Socket errors:/ {gsub(/,/, ""); n += $4 + $6 + $8 + $10}
         /Non-2xx or 3xx responses:/ {n += $5} END {print n + 0}' "$1"
}
list_rps="$(rps "$out/wrk-list")"
static_rps="$(rps "$out/wrk-static")"
{
    echo "RESULT wrk_list_rps $list_rps"
    echo "RESULT wrk_errors $(($(errors "$out/wrk-list") + $(errors "$out/wrk-static")))"
    echo "RESULT wrk_list_to_static $(awk -v a="$list_rps" -v b="$static_rps" \
        'BEGIN {printf "%.3f (static page %s requests/s)", a / b, b}')"
} >>"$out/results"

echo
echo "== Figures of this run ($(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg))"
awk '
    BEGIN {
        split("idle_cpu_per_wall|list_time_ratio|probe_worst_late_ms|scraper_|memory_growth_mib|wrk_list_rps|wrk_errors|wrk_list_to_static", keys, "|")
        what["idle_cpu_per_wall"] = "1 waiting: CPU / wall";        op["idle_cpu_per_wall"] = "<="; goal["idle_cpu_per_wall"] = 0.02
        what["list_time_ratio"] = "2 5,000 names: Form1 / curl";    op["list_time_ratio"] = "<=";   goal["list_time_ratio"] = 1.3
        what["probe_worst_late_ms"] = "3 probe timer, worst late ms"; op["probe_worst_late_ms"] = "<="; goal["probe_worst_late_ms"] = 50
        what["scraper_"] = "4 scraper / one scan: ";               op["scraper_"] = "<=";          goal["scraper_"] = 3
        what["memory_growth_mib"] = "5 memory growth, MiB";         op["memory_growth_mib"] = "<="; goal["memory_growth_mib"] = 40
        what["wrk_list_rps"] = "6 list pages, requests/s";          op["wrk_list_rps"] = ">=";      goal["wrk_list_rps"] = 5000
        what["wrk_errors"] = "6 wrk errors";                        op["wrk_errors"] = "<=";        goal["wrk_errors"] = 0
        what["wrk_list_to_static"] = "6 list / static requests/s";  op["wrk_list_to_static"] = ">="; goal["wrk_list_to_static"] = 0.5
        printf "%-36s %10s %4s %7s  %s\n", "benchmark", "figure", "", "target", "verdict"
    }
    /^RESULT / {
        key = $2; label = ""
        for (k in what) if (key == k || (k == "scraper_" && index(key, k) == 1)) { label = what[k]; kk = k }
        if (label == "") next
        if (kk == "scraper_") label = label substr(key, 9)
        v = $3 + 0; g = goal[kk]
        met = (op[kk] == "<=") ? (v <= g) : (v >= g)
        if (!met) verdict = "MISSED"
        else if (op[kk] == "<=" && v > 0) verdict = sprintf("met, %.1fx room", g / v)
        else if (op[kk] == ">=" && g > 0) verdict = sprintf("met, %.1fx room", v / g)
        else verdict = "met"
        printf "%-36s %10s %4s %7s  %s\n", label, $3, op[kk], g, verdict
    }' "$out/results"
