#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real `spruce` under a private Xvfb and session bus with
# accessibility on, reads the dashboard's monitors over AT-SPI and compares
# them with `spruce-cli --json monitor` taken at the same moment, then presses
# "Scan" over AT-SPI and checks the completion and the three review buttons
# (bench/monitor_atspi.py does the reading). The scan runs on a small sample
# home made here, never the real one.
# Needs xvfb, dbus, at-spi2-core and python3-pyatspi (apt-get install xvfb dbus
# at-spi2-core python3-pyatspi).
# Usage: bench/monitor_compare.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-3}
APP=${APP:-$PWD/build/src/app/spruce}
CLI=${CLI:-$PWD/build/src/cli/spruce-cli}
[ -x "$APP" ] && [ -x "$CLI" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
for tool in Xvfb dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "needs python3-pyatspi" >&2; exit 2; }

# shellcheck source=xvfb.sh
. bench/xvfb.sh
start_private_display 80
mkdir -p "$work/home/.cache/sample" "$work/home/.local/share/Trash/files"
head -c 3000000 /dev/zero >"$work/home/.cache/sample/blob"
head -c 1000000 /dev/zero >"$work/home/.local/share/Trash/files/old.txt"

export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 HOME="$work/home" APP CLI ROUNDS
dbus-run-session -- bash -c '
  "$APP" >"$XDG_RUNTIME_DIR/spruce.log" 2>&1 &
  app=$!
  /usr/bin/python3 "$(dirname "$0")/monitor_atspi.py" "$CLI" "$ROUNDS"
  code=$?
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null
  exit $code
' "$PWD/bench/monitor_compare.sh"
