#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Large and old files scan against find(1) on the 200k-file tree.
#
#   bench/large_old_bench.sh [--runs N] [--no-build]
#
# Builds the tree and its oracle with the shared generator when missing
# (BENCH_DIR, default /tmp/spruce-bench; never inside the repository), then:
#   1. checks that `spruce-cli --home TREE --json scan largeAndOldFile` and
#      `find TREE -not -path '*/.*' -type f \( -size +5M -o -mtime +30 \)`
#      find exactly the same files, and that both match the oracle's
#      "cleanup" set (files outside hidden folders, > 5 MiB or older than
#      30 days). The scan lists a file once per band it falls in, so the
#      comparison is on the set of paths;
#   2. warms the cache and times N interleaved rounds (default 15) of both,
#      each writing its output to a file, and prints the medians and the
#      ratio spruce / find (the target is 0.42 or less); "summary" is the
#      same scan printing only the band totals instead of every record.
# Absolute times drift on a shared machine: read the ratio.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
# shellcheck source=common.sh
. "$here/common.sh"

runs=15
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

TREE="$(realpath -m "$TREE")"
case "$TREE/" in
  "$repo"/*) echo "refusing to use a benchmark tree inside the repository: $TREE" >&2; exit 2 ;;
esac
ensure_tree
[ "$build" = 1 ] && "$repo/scripts/build.sh" default >/dev/null
[ -x "$CLI" ] || { echo "missing $CLI" >&2; exit 2; }

out="$BENCH_DIR/large-old"
mkdir -p "$out"
run_spruce() { "$CLI" --home "$TREE" --json --no-progress scan largeAndOldFile >"$out/spruce.json"; }
# The same scan printing only the band totals: the walk without writing ~120k records out.
run_summary() { "$CLI" --home "$TREE" --no-progress scan largeAndOldFile >"$out/summary.txt"; }
run_find() { find "$TREE" -not -path '*/.*' -type f \( -size +5M -o -mtime +30 \) -printf '%s %T@ %p\n' >"$out/find.txt"; }

# Correctness first: a fast wrong answer is worth nothing.
run_spruce
run_find
python3 "$here/compare_large_old.py" "$TREE" "$TREE.json" "$out/spruce.json" "$out/find.txt" >/dev/null
echo "same files as find and as the oracle" >&2

# Warm-up, then interleaved timed rounds.
run_spruce
run_find
: >"$out/spruce.times"
: >"$out/summary.times"
: >"$out/find.times"
# Each output file is removed before its timed run: truncating the previous
# run's tens of megabytes is the file system's work, not the tool's.
for _ in $(seq "$runs"); do
  rm -f "$out/spruce.json" "$out/summary.txt" "$out/find.txt"
  start=$(date +%s%N); run_spruce; end=$(date +%s%N)
  echo "($end - $start) / 1000000000" | bc -l >>"$out/spruce.times"
  start=$(date +%s%N); run_summary; end=$(date +%s%N)
  echo "($end - $start) / 1000000000" | bc -l >>"$out/summary.times"
  start=$(date +%s%N); run_find; end=$(date +%s%N)
  echo "($end - $start) / 1000000000" | bc -l >>"$out/find.times"
done
spruce_median=$(median <"$out/spruce.times")
summary_median=$(median <"$out/summary.times")
find_median=$(median <"$out/find.times")
spruce_peak=$(peak_kib "$CLI" --home "$TREE" --json --no-progress scan largeAndOldFile)
find_peak=$(peak_kib find "$TREE" -not -path '*/.*' -type f \( -size +5M -o -mtime +30 \) -printf '%s %T@ %p\n')
printf '%-8s %8s %10s %10s\n' tool median ratio "peak KiB"
printf '%-8s %8.3f %10.2f %10s\n' find "$find_median" 1 "$find_peak"
printf '%-8s %8.3f %10.2f %10s\n' spruce "$spruce_median" "$(echo "$spruce_median / $find_median" | bc -l)" "$spruce_peak"
printf '%-8s %8.3f %10.2f %10s\n' summary "$summary_median" "$(echo "$summary_median / $find_median" | bc -l)" "-"
echo "(median of $runs interleaved warm runs; load average $(cut -d' ' -f1-3 /proc/loadavg))"
