#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and shares SECONDS of fuzzing among them (default 160,
# at least 8 s each), so that a new target takes a share of the time, not time on top. Two
# targets run at a time, one per core: the targets get the same time in half the wait.
#   ./scripts/fuzz.sh [SECONDS]
# The tree, build-sanitize, also holds the sanitized tests (scripts/test.sh builds them there):
# the libraries are compiled once for both.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
budget="${1:-160}"
lumo_install_packages clang libclang-rt-14-dev
LUMO_BUILD="$LUMO_ROOT/build-sanitize"
CC=clang CXX=clang++ lumo_build -DLUMO_FUZZ=ON -- lumo_fuzz
targets=()
for target in "$LUMO_BUILD"/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
done
count=${#targets[@]}
seconds=$(( count > 0 ? budget / count : budget ))
[ "$seconds" -lt 8 ] && seconds=8

# fuzz_one TARGET: fuzzes it for $seconds into its own log; says how it went.
fuzz_one() {
    local target="$1" name
    name="$(basename "$target")"; name="${name#fuzz_}"
    local corpus="$LUMO_ROOT/fuzz/corpus/$name" work="$LUMO_BUILD/corpus/$name"
    local log="$LUMO_BUILD/fuzz-$name.log"
    mkdir -p "$work"
    if ! "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
            -artifact_prefix="$LUMO_BUILD/crash-$name-" "$work" "$corpus" >"$log" 2>&1; then
        { echo "fuzz: $name FAILED, see $log"; tail -n 30 "$log"; } >&2
        return 1
    fi
    echo "fuzz: $name $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" || echo 'no stats')"
}

echo "fuzz: ${#targets[@]} targets, ${seconds}s each, two at a time"
status=0
running=()
for target in "${targets[@]}"; do
    if [ ${#running[@]} -ge 2 ]; then
        wait "${running[0]}" || status=1
        running=("${running[@]:1}")
    fi
    fuzz_one "$target" &
    running+=($!)
done
for pid in "${running[@]}"; do wait "$pid" || status=1; done
exit $status
