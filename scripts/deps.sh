#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Spruce needs to build and test, when missing.
# Usage: scripts/deps.sh
set -euo pipefail
# The default preset builds the tests too, so both commands need GoogleTest.
need=(g++ cmake make pkg-config libplist-dev nlohmann-json3-dev libicu-dev libgtest-dev ccache)
# Tests only: the desktop's own tools (gio with gvfs's trash backend, on a
# private D-Bus session) must list and restore what Spruce moved to the Trash.
need+=(gvfs libglib2.0-bin dbus-daemon)
# The desktop application (SPRUCE_BUILD_GUI, on by default): Qt 6 Widgets and
# SVG for the icon set; Liberation fonts stand in for the theme's classic font names.
need+=(qt6-base-dev qt6-svg-dev fonts-liberation2)
# The AT-SPI road (tests/gui/atspi_review.sh) runs on a private X server: Xvfb, through xvfb-run (which needs xauth).
need+=(xvfb xauth)
# The realistic test home (bench/junk_home.py, ctest cli.junk_home) is made and checked by a Python script.
need+=(python3)
missing=()
for pkg in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
