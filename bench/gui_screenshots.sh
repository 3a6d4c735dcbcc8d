#!/usr/bin/env bash
# Screenshots of the desktop application under Xvfb, written to docs/screenshots/
# (or the folder given): the dashboard, an overview screen, the more-tools screen,
# the status popover. SCALE=2 takes them at 200 %.
# Usage: [SCALE=2] bench/gui_screenshots.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
[ -x build/bench/gui_screenshots ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "needs xvfb-run (apt-get install xvfb xauth)" >&2; exit 2; }
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
QT_SCALE_FACTOR="${SCALE:-1}" SPRUCE_RESOURCES="$PWD/resources" XDG_CONFIG_HOME="$config" \
  XDG_RUNTIME_DIR="$config" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s '-screen 0 2560x1600x24' build/bench/gui_screenshots "$out"
