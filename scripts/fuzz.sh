#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and shares SECONDS of fuzzing among them (default 160,
# at least 8 s each), so that a new target takes a share of the time, not time on top.
#   ./scripts/fuzz.sh [SECONDS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
budget="${1:-160}"
lumo_install_packages clang libclang-rt-14-dev
LUMO_BUILD="$LUMO_ROOT/build-fuzz"
CC=clang CXX=clang++ lumo_build -DLUMO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=("$LUMO_BUILD"/fuzz/fuzz_*)
count=0
for target in "${targets[@]}"; do [ -f "$target" ] && [ -x "$target" ] && count=$((count + 1)); done
seconds=$(( count > 0 ? budget / count : budget ))
[ "$seconds" -lt 8 ] && seconds=8
status=0
for target in "${targets[@]}"; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name="$(basename "$target")"; name="${name#fuzz_}"
    corpus="$LUMO_ROOT/fuzz/corpus/$name"
    work="$LUMO_BUILD/corpus/$name"
    mkdir -p "$work"
    echo "fuzz: $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
            -artifact_prefix="$LUMO_BUILD/crash-$name-" "$work" "$corpus" \
            > "$LUMO_BUILD/fuzz-$name.log" 2>&1; then
        echo "fuzz: $name FAILED, see $LUMO_BUILD/fuzz-$name.log" >&2
        tail -n 30 "$LUMO_BUILD/fuzz-$name.log" >&2
        status=1
    fi
    grep -E 'stat::number_of_executed_units' "$LUMO_BUILD/fuzz-$name.log" | sed "s/^/fuzz: $name /" || true
done
exit $status
