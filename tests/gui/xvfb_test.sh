#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one class of the GUI test binary on a real X server (a private Xvfb).
# Usage: tests/gui/xvfb_test.sh BINARY CLASS
# Exits 77 (ctest: skipped) when xvfb-run is not installed (scripts/deps.sh installs it).
set -euo pipefail
binary=$1
class=$2
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "SKIP: xvfb-run not found (apt-get install xvfb xauth, or run scripts/deps.sh)"
  exit 77
fi
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/config" QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s '-screen 0 1280x800x24' "$binary" "$class"
