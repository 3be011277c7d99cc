#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and opens the window. The window starts the bundled web
# sites itself when nothing listens on their port; they end themselves 10 minutes after it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
lumo_install_packages
lumo_build

# With a display the window opens as usual; without one, a screenshot is saved instead.
source "$(dirname "${BASH_SOURCE[0]}")/show.sh"
lumo_show
