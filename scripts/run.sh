#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
lumo_install_packages
lumo_build
source "$(dirname "${BASH_SOURCE[0]}")/show.sh"
lumo_show
