#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Counts the lines of tests against the lines of code and prints the tests' share.
#   ./scripts/test-share.sh [--check]
# A line counts when it is neither blank nor only a comment, in C++ (.cpp .h .in), CMake
# (CMakeLists.txt .cmake), shell (.sh) and Lua (.lua) files. Tests are tests/ and fuzz/, code
# is src/, sites/ and scripts/; bench/ is neither. With --check it fails when the share lies
# outside 25-35 %.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

count() {
    local dir total=0 n
    for dir in "$@"; do
        [ -d "$root/$dir" ] || continue
        n="$(find "$root/$dir" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.in' \
                -o -name CMakeLists.txt -o -name '*.cmake' -o -name '*.sh' -o -name '*.lua' \) \
                -print0 | xargs -0 -r awk '
            FNR == 1 { block = 0; cxx = FILENAME ~ /\.(cpp|h|in)$/; lua = FILENAME ~ /\.lua$/ }
            {
                line = $0
                gsub(/^[ \t\r]+|[ \t\r]+$/, "", line)
                if (cxx && block) {
                    if (index(line, "*/") == 0) next
                    block = 0
                    line = substr(line, index(line, "*/") + 2)
                    gsub(/^[ \t]+/, "", line)
                }
                if (line == "") next
                if (cxx) {
                    if (line ~ /^\/\//) next
                    if (line ~ /^\/\*/) {
                        if (index(line, "*/") == 0) { block = 1; next }
                        if (line ~ /\*\/$/) next
                    }
                } else if (lua) {
                    if (line ~ /^--/) next
                } else if (line ~ /^#/) {
                    next
                }
                counted++
            }
            END { print counted + 0 }' | awk '{ sum += $1 } END { print sum + 0 }')"
        total=$((total + n))
    done
    echo "$total"
}

tests="$(count tests fuzz)"
code="$(count src sites scripts)"
all=$((tests + code))
share_tenths=$((all > 0 ? (tests * 1000 + all / 2) / all : 0))
printf 'test lines: %d, code lines: %d, total: %d, tests: %d.%d %%\n' \
    "$tests" "$code" "$all" $((share_tenths / 10)) $((share_tenths % 10))
if [ "${1:-}" = "--check" ] && { [ "$share_tenths" -lt 250 ] || [ "$share_tenths" -gt 350 ]; }; then
    echo "the tests' share should lie between 25 and 35 %" >&2
    exit 1
fi
