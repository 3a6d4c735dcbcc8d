#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The review screens on the 200k-file tree as home folder.
#
#   bench/review_bench.sh [--runs N] [--no-build] [--tree DIR] [--a11y]
#
# Builds the tree with the shared generator when missing (bench/common.sh;
# --tree DIR takes another one made by it, such as the million-file tree),
# then runs N interleaved rounds (default 5) of
#   1. `spruce-cli --home TREE --no-progress scan largeAndOldFile` (wall time),
#   2. build/bench/review_bench TREE (offscreen): the same scan started with
#      the overview's "Scan" button until the detail screen shows the result,
#      how long the GUI thread was kept from its event loop meanwhile (the
#      longest event it handled, and the lateness of a 1 ms timer: longest and
#      99th percentile), then opening, scrolling, searching and sorting the
#      biggest category on the detail screen (model work and a synchronous
#      repaint of the outline), and the process's peak memory (taken before
#   3. a clean from the detail screen of CLEAN_ITEMS (default 80000) one-byte
#      files that the benchmark writes in a temporary folder of its own (the
#      tree is never cleaned): its time and the longest event meanwhile.
# --a11y runs the application side on a private Xvfb display (xcb) in a
# session bus of its own with the accessibility bridge on
# (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1) and the AT-SPI bus and registry up
# (at-spi2-core), so that the bridge registers as on a desktop; no client
# listens to its events.
# Prints the medians and the ratio GUI scan / CLI scan (target: 1.2 or less),
# each round's ratio too.
# Absolute times drift on a shared machine: read the ratios, and the load
# printed at the end.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
# shellcheck source=common.sh
. "$here/common.sh"

runs=5
build=1
a11y=0
own_tree=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --tree) TREE="$2"; own_tree=1; shift 2 ;;
    --a11y) a11y=1; shift ;;
    -h|--help) sed -n '2,32p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

if [ "$own_tree" = 1 ]; then
  [ -d "$TREE" ] || { echo "no tree at $TREE" >&2; exit 2; }
else
  ensure_tree
fi
[ "$build" = 1 ] && "$repo/scripts/build.sh" default >/dev/null
bench="$repo/build/bench/review_bench"
[ -x "$CLI" ] && [ -x "$bench" ] || { echo "missing $CLI or $bench" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export SPRUCE_RESOURCES="$repo/resources" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$out"
run_gui() { "$bench" "$TREE"; }
if [ "$a11y" = 1 ]; then
  for tool in Xvfb dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
  done
  [ -x /usr/libexec/at-spi-bus-launcher ] || { echo "needs at-spi2-core" >&2; exit 2; }
  # shellcheck source=xvfb.sh
  . "$here/xvfb.sh"
  start_private_display 90
  trap 'stop_private_display; rm -rf "$out"' EXIT
  export DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME="$work/config"
  # The accessibility bus and its registry start on demand: started here, so
  # that the application's bridge finds them and registers, as on a desktop.
  run_gui() {
    dbus-run-session -- bash -c '/usr/libexec/at-spi-bus-launcher --launch-immediately & bus=$!
      sleep 1; "$0" "$1"; code=$?; kill "$bus" 2>/dev/null; exit $code' "$bench" "$TREE"
  }
fi
# Warm the cache once.
"$CLI" --home "$TREE" --no-progress scan largeAndOldFile >/dev/null
for i in $(seq "$runs"); do
  time_once "$CLI" --home "$TREE" --no-progress scan largeAndOldFile >>"$out/cli"
  REVIEW_BENCH_CLEAN=${CLEAN_ITEMS:-80000} run_gui 2>/dev/null | tee "$out/round" >>"$out/gui"
  echo "round $i: scan $(grep '^scan_ms ' "$out/round" | awk '{print $2}') ms against $(tail -1 "$out/cli" | awk '{print $1 * 1000}') ms" >&2
done

med() { grep "^$1 " "$out/gui" | awk '{print $2}' | median; }
cli_ms=$(awk '{print $1 * 1000}' "$out/cli" | median)
gui_ms=$(med scan_ms)
printf 'records                      %s (biggest category %s)\n' "$(med records)" "$(med biggest_category_records)"
printf 'scan, spruce-cli             %.0f ms\n' "$cli_ms"
printf 'scan, overview screen        %.0f ms   ratio %.2f\n' "$gui_ms" "$(echo "$gui_ms / $cli_ms" | bc -l)"
printf 'GUI thread, longest event    %.1f ms (worst run %.1f)\n' "$(med event_longest_ms)" \
  "$(grep '^event_longest_ms ' "$out/gui" | awk '{print $2}' | sort -g | tail -1)"
printf 'GUI thread, 1 ms timer late  longest %.1f ms (worst run %.1f), 99th percentile %.1f ms\n' \
  "$(med stall_longest_ms)" "$(grep '^stall_longest_ms ' "$out/gui" | awk '{print $2}' | sort -g | tail -1)" \
  "$(med stall_p99_ms)"
for figure in open_ms scroll_page_ms search_first_ms search_again_ms search_clear_ms \
  sort_name_ms sort_name_ready_ms sort_name_again_ms sort_size_ms sort_size_ready_ms sort_size_again_ms \
  sort_date_ms sort_date_ready_ms sort_date_again_ms tick_category_ms tick_file_ms untick_category_ms; do
  printf '%-28s %.1f ms\n' "${figure%_ms}" "$(med "$figure")"
done
printf 'peak memory                  %.0f MiB\n' "$(med peak_rss_mib)"
printf 'clean of %s items          %.0f ms, longest event %.1f ms (worst run %.1f), %s records left\n' \
  "$(med clean_items)" "$(med clean_ms)" "$(med clean_event_longest_ms)" \
  "$(grep '^clean_event_longest_ms ' "$out/gui" | awk '{print $2}' | sort -g | tail -1)" "$(med clean_records_left)"
printf 'rounds (GUI/CLI)             %s\n' "$(paste -d' ' <(grep '^scan_ms ' "$out/gui" | awk '{print $2}') \
  <(awk '{print $1 * 1000}' "$out/cli") | awk '{printf "%.2f ", $1 / $2}')"
printf 'accessibility bridge         %s\n' "$([ "$a11y" = 1 ] && echo on || echo off)"
printf 'load average                 %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
