#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the desktop application under Xvfb, written to docs/screenshots/
# (or the folder given): the dashboard before and after a scan of all modules,
# an overview screen, the more-tools screen, the status popover, the notices
# (updates, a link nothing opens, the window closed in front of the tray), and the review
# screens (System Junk before, during and after a scan, its detail screen with a
# partly selected category and a search; Large and Old Files with "Move to Trash
# instead of deleting" checked and its confirmation, a file kept with "Always
# Keep", the preferences page with the always-keep list). SCALE 2 takes them at 200 %
# (QT_SCALE_FACTOR=2) on a screen large enough for the doubled window.
# SCHEME dark takes them in the dark look on a light desktop palette; light
# (the default) in the light look on a dark desktop palette.
# Scans run on small sample home folders made here, never the real one.
# Usage: bench/gui_screenshots.sh [OUTDIR] [SCALE] [light|dark]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
scale=${2:-1}
scheme=${3:-light}
case $scheme in light | dark) ;; *) echo "SCHEME is light or dark, not $scheme" >&2; exit 2 ;; esac
[ -x build/bench/gui_screenshots ] && [ -x build/bench/review_screenshots ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "needs xvfb-run (apt-get install xvfb xauth)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What a lived-in home leaves behind: caches, the trash, old logs, a big old download.
home="$work/home"
mkdir -p "$home/.cache/thumbnails/large" "$home/.cache/pip/http" "$home/.local/share/Trash/files" \
  "$home/.local/share/Trash/info" "$home/.npm/_cacache/content-v2" "$home/Downloads" "$home/Videos"
for i in $(seq 1 40); do head -c $((i * 37000)) /dev/zero >"$home/.cache/thumbnails/large/thumb$i.png"; done
head -c 48000000 /dev/zero >"$home/.cache/pip/http/wheel.bin"
head -c 21000000 /dev/zero >"$home/.local/share/Trash/files/old-report.pdf"
printf '[Trash Info]\nPath=/tmp/old-report.pdf\n' >"$home/.local/share/Trash/info/old-report.pdf.trashinfo"
head -c 9000000 /dev/zero >"$home/.npm/_cacache/content-v2/blob"
truncate -s 1400M "$home/Downloads/debian-12-dvd.iso"
truncate -s 380M "$home/Videos/holiday-2019.mp4"
touch -d '2 years ago' "$home/Videos/holiday-2019.mp4"

screen='1280x800x24'
[ "$scale" = 1 ] || screen='2600x1800x24'
for program in gui_screenshots review_screenshots; do
  HOME="$home" SPRUCE_RESOURCES="$PWD/resources" XDG_CONFIG_HOME="$work" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
    QT_SCALE_FACTOR="$scale" SPRUCE_SHOTS_SCHEME="$scheme" xvfb-run -a -s "-screen 0 $screen" "build/bench/$program" "$out"
done
