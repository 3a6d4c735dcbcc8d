#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the Spruce desktop application
# (or, without a display, the command-line scan of modules 1, 2 and 3).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh default >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop to show a window on: run the command-line scan instead.
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); running spruce-cli instead of the desktop application" >&2
  if [ "$#" -eq 0 ]; then
    set -- scan 1 2 3
  fi
  exec build/src/cli/spruce-cli "$@"
fi
exec build/src/app/spruce "$@"
