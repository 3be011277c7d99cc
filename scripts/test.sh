#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
lumo_install_packages
lumo_build
ctest --test-dir "$LUMO_BUILD" --output-on-failure -j2
