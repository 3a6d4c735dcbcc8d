#!/usr/bin/env bash
# Screenshots of the desktop application under Xvfb, written to docs/screenshots/
# (or the folder given): the dashboard, an overview screen, the status popover,
# and the review screens (System Junk before, during and after a scan on a
# home folder made for the purpose, its detail screen with a partly selected
# category and a search). SCALE 2 takes them at 200 % (QT_SCALE_FACTOR).
# Usage: bench/gui_screenshots.sh [OUTDIR] [SCALE]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
scale=${2:-1}
[ -x build/bench/gui_screenshots ] && [ -x build/bench/review_screenshots ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "needs xvfb-run (apt-get install xvfb xauth)" >&2; exit 2; }
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
screen="$((1280 * scale))x$((800 * scale))x24"
for program in gui_screenshots review_screenshots; do
  SPRUCE_RESOURCES="$PWD/resources" XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$config" QT_QPA_PLATFORM=xcb \
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 $screen" "build/bench/$program" "$out"
done
