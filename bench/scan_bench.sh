#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scanning a category over the 200k-file tree must be bounded by the walk, not
# by callbacks. Times, interleaved and warm:
#   size  spruce-cli size TREE                       (the walk alone)
#   folder  a "Folder" category at TREE               (childrenOfDirectory: each child measured)
#   large   the large-and-old module with --home TREE (the filtered deep walk)
# and reports the main-queue jobs each scan posted.
# Usage: bench/scan_bench.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-5}
command -v bc >/dev/null || { echo "bench needs bc (apt-get install bc)" >&2; exit 1; }
ensure_tree

cat_dir=$(mktemp -d)
trap 'rm -rf "$cat_dir"' EXIT
write_catalogue "$cat_dir/c.plist" "$(category tree "<key>url</key><string>file://$TREE/</string>")"
# The tree is the home of the large-and-old scan, and a home may not be a location.
write_catalogue "$cat_dir/none.plist" ""

size_cmd=("$CLI" --no-progress size "$TREE")
folder_cmd=("$CLI" --no-progress --catalogue "$cat_dir/c.plist" --json scan 1)
large_cmd=("$CLI" --no-progress --catalogue "$cat_dir/none.plist" --home "$TREE" --json scan 3)

"${size_cmd[@]}" >/dev/null; "${folder_cmd[@]}" >/dev/null; "${large_cmd[@]}" >/dev/null # warm up
: >"$cat_dir/size"; : >"$cat_dir/folder"; : >"$cat_dir/large"
for _ in $(seq "$runs"); do
  time_once "${size_cmd[@]}" >>"$cat_dir/size"
  time_once "${folder_cmd[@]}" >>"$cat_dir/folder"
  time_once "${large_cmd[@]}" >>"$cat_dir/large"
done
s=$(median <"$cat_dir/size"); f=$(median <"$cat_dir/folder"); l=$(median <"$cat_dir/large")
jobs_folder=$("${folder_cmd[@]}" --stats 2>&1 >/dev/null | sed -n 's/main-queue jobs posted: //p')
jobs_large=$("${large_cmd[@]}" --stats 2>&1 >/dev/null | sed -n 's/main-queue jobs posted: //p')
shallow=$(find "$TREE" -mindepth 1 -maxdepth 4 -not -path '*/.*' | wc -l)
top=$(find "$TREE" -mindepth 1 -maxdepth 1 | wc -l)
printf 'median of %d warm runs (seconds)\n' "$runs"
printf '  size TREE            %.3f  1.00\n' "$s"
printf '  scan Folder category %.3f  %.2f x size   main-queue jobs %s (top-level entries %s)\n' "$f" "$(echo "$f / $s" | bc -l)" "$jobs_folder" "$top"
printf '  scan large-and-old   %.3f  %.2f x size   main-queue jobs %s (non-hidden items in levels 1-4: %s)\n' "$l" "$(echo "$l / $s" | bc -l)" "$jobs_large" "$shallow"
