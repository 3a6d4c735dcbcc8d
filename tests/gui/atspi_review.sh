#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs tests/gui/atspi_review.py, tests/gui/atspi_trust.py and
# tests/gui/atspi_system.py: the desktop application driven over AT-SPI on a
# private X server and D-Bus session, as a screen-reader user would (reviewing
# and cleaning; then the Trash, Always Keep and the preferences page; then the
# System module on a planted system root, cleaned through spruce-admin).
# Needs xvfb, xauth, xdotool, dbus, at-spi2-core and python3-pyatspi (apt-get install ...).
# Usage: tests/gui/atspi_review.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
python=/usr/bin/python3
for tool in xvfb-run xdotool dbus-run-session "$python"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi missing"; exit 77; }
# xvfb-run picks a free display and sets up its authority (other sessions may hold displays).
exec dbus-run-session -- xvfb-run -a -s '-screen 0 1280x800x24' bash -c '
  # The accessibility bus and its registry start on demand; make sure they are up.
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  sleep 1
  /usr/bin/python3 tests/gui/atspi_review.py "$0" "$1" && /usr/bin/python3 tests/gui/atspi_trust.py "$0" "$1" &&
    /usr/bin/python3 tests/gui/atspi_system.py "$0" "$1" && /usr/bin/python3 tests/gui/atspi_notices.py "$0" "$1"
' "$PWD/$build/src/app/spruce" "$PWD/resources"
