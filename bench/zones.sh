#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Figures 15 and 16 at one size: two days of a generated .com-like zone; lumo-sites imports
# both (the second, timed, also diffs and estimates) against the reference
# `zcat | awk '{print $1}' | tr A-Z a-z | sort -u` of the same file, and the diff of the two
# sorted days against `comm -23`. Prints RESULT lines.
#   bench/zones.sh BENCH_ZONES LUMO_SITES WORKDIR MILLIONS
set -euo pipefail
gen="$1" sites="$2" work="$3" millions="$4"
dir="$work/zones-$millions"
n=$((millions * 1000000))
mkdir -p "$dir/data" "$dir/tmp"
trap 'rm -rf "$dir"' EXIT
"$gen" generate "$n" 0 "$dir/day0.zone.gz"
"$gen" generate "$n" 1 "$dir/day1.zone.gz"
"$sites" --data-dir "$dir/data" --import-zone "$dir/day0.zone.gz" --zone com --day 2026-12-06 >/dev/null
/usr/bin/time -f "%e %M" -o "$dir/import.time" "$sites" --data-dir "$dir/data" \
    --import-zone "$dir/day1.zone.gz" --zone com --day 2026-12-07 >/dev/null
# The reference's sort gets the memory the import stays under.
/usr/bin/time -f "%e %M" -o "$dir/reference.time" bash -c "zcat '$dir/day1.zone.gz' | awk '{print \$1}' |
    tr A-Z a-z | LC_ALL=C sort -u -S 512M -T '$dir/tmp' >'$dir/reference'"
days="$dir/data/zones/com"
/usr/bin/time -f "%e %M" -o "$dir/diff.time" "$gen" diff "$days/2026-12-06.names" \
    "$days/2026-12-07.names" "$dir/gone" 2>/dev/null
/usr/bin/time -f "%e %M" -o "$dir/comm.time" bash -c "LC_ALL=C comm -23 '$days/2026-12-06.names' \
    '$days/2026-12-07.names' >'$dir/gone.comm'"
cmp -s "$dir/gone" "$dir/gone.comm" || { echo "the diff and comm -23 disagree" >&2; exit 1; }
read -r it im <"$dir/import.time"
read -r rt rm <"$dir/reference.time"
read -r dt dm <"$dir/diff.time"
read -r ct _ <"$dir/comm.time"
names="$(wc -l <"$days/2026-12-07.names")"
gone="$(wc -l <"$dir/gone")"
bytes="$(stat -c %s "$days/2026-12-07.names")"
awk -v m="$millions" -v it="$it" -v im="$im" -v rt="$rt" -v rm="$rm" -v n="$names" -v dt="$dt" \
    -v dm="$dm" -v ct="$ct" -v g="$gone" -v b="$bytes" 'BEGIN {
    printf "RESULT zone_import_ratio_%sM %.3f (lumo-sites %.1f s, peak %.0f MiB, %d names, %.1f bytes a name on disk; reference %.1f s, peak %.0f MiB)\n", m, it / rt, it, im / 1024, n, b / n, rt, rm / 1024
    printf "RESULT zone_import_peak_mib_%sM %.0f\n", m, im / 1024
    printf "RESULT zone_diff_ratio_%sM %.3f (diff %.2f s, peak %.0f MiB, %d gone; comm -23 %.2f s)\n", m, dt / ct, dt, dm / 1024, g, ct
}'
