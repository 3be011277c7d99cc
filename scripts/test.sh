#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole test suite:
#   1. the tests on the normal build,
#   2. the fuzz targets, sharing 160 seconds,
#   3. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then prints the tests' share of the lines. `--quick` runs the first stage only.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

lumo_install_packages
lumo_build
ctest --test-dir "$LUMO_BUILD" --output-on-failure -j2
if [ "$quick" = 0 ]; then
    echo "== fuzzing =="
    "$LUMO_ROOT/scripts/fuzz.sh" 160

    echo "== sanitizers =="
    LUMO_BUILD="$LUMO_ROOT/build-asan" lumo_build -DLUMO_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir "$LUMO_ROOT/build-asan" --output-on-failure -j2
fi
"$LUMO_ROOT/scripts/test-share.sh" --check
