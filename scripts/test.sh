#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole test suite:
#   1. the tests on the normal build, the installed tree and the Debian package among them,
#   2. the fuzz targets, sharing 160 seconds, two at a time,
#   3. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (clang, in the
#      fuzz targets' tree, whose libraries they share),
# then prints the tests' share of the lines. `--quick` runs the first stage only.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

# stage NAME COMMAND...: runs one stage, saying how long it took.
stage() {
    local name="$1" start=$SECONDS
    shift
    echo "== $name =="
    "$@"
    echo "== $name: $((SECONDS - start)) s =="
}

sanitizer_build() { LUMO_BUILD="$LUMO_ROOT/build-sanitize" CC=clang CXX=clang++ lumo_build -DLUMO_FUZZ=ON; }

lumo_install_packages
stage build lumo_build
stage tests ctest --test-dir "$LUMO_BUILD" --output-on-failure -j2
if [ "$quick" = 0 ]; then
    lumo_install_packages clang libclang-rt-14-dev
    stage fuzzing "$LUMO_ROOT/scripts/fuzz.sh" 160
    stage "sanitizer build" sanitizer_build
    stage "sanitizer tests" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir "$LUMO_ROOT/build-sanitize" --output-on-failure -j2
fi
"$LUMO_ROOT/scripts/test-share.sh" --check
