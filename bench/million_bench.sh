#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The million-file home: the large-and-old scan against find(1) and folder
# sizing against du, with the records kept and the memory they cost.
#
#   bench/million_bench.sh [TREE_DIR] [--runs N] [--no-build]
#
# TREE_DIR (default $BENCH_DIR/t1m, never inside the repository) is built
# once with the shared generator (`mktree.py --files 1000000 --seed 1`, a
# minute or two and about 2 GiB of disk) together with its oracle
# TREE_DIR.json. Then:
#   1. correctness: the scan with JSON and find name exactly the oracle's
#      "cleanup" files (bench/compare_large_old.py), and `spruce-cli size`
#      gives the oracle's total_size_nodirs;
#   2. memory: peak RSS of the scan with JSON, of the scan printing only the
#      band totals, of find, of `spruce-cli size` and of du -sbl; records over
#      the bands, and bytes per record = peak of the JSON scan / records (all
#      included: the program itself, the lists, the JSON writer) and
#      (peak - peak of the same scan of an empty home) / records;
#   3. time: N interleaved warm rounds (default 5) of the four commands,
#      medians, and the ratios spruce / find and spruce size / du -sbl.
# Memory does not depend on load; times do (a shared 2-core machine): read the
# ratios, taken in the same run, with the load average printed under them.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
# shellcheck source=common.sh
. "$here/common.sh"

tree="$BENCH_DIR/t1m"
runs=5
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) tree="$1"; shift ;;
  esac
done
tree="$(realpath -m "$tree")"
case "$tree/" in
  "$repo"/*) echo "refusing to use a benchmark tree inside the repository: $tree" >&2; exit 2 ;;
esac
oracle="$tree.json"
mkdir -p "$(dirname "$tree")"
(
  flock 9
  if [ ! -d "$tree" ] || [ ! -f "$oracle" ]; then
    echo "building $tree (a minute or two)..." >&2
    python3 "$MKTREE" --files 1000000 --seed 1 "$tree" --oracle "$oracle" --force >&2
  fi
) 9>"$(dirname "$tree")/.mktree.lock"
[ "$build" = 1 ] && "$repo/scripts/build.sh" default >/dev/null
[ -x "$CLI" ] || { echo "missing $CLI" >&2; exit 2; }

out="$BENCH_DIR/million"
mkdir -p "$out/empty-home"
q() { printf %q "$1"; }
spruce_cmd="$(q "$CLI") --home $(q "$tree") --json --no-progress scan largeAndOldFile >$(q "$out/spruce.json")"
summary_cmd="$(q "$CLI") --home $(q "$tree") --no-progress scan largeAndOldFile >/dev/null"
empty_cmd="$(q "$CLI") --home $(q "$out/empty-home") --json --no-progress scan largeAndOldFile >/dev/null"
find_cmd="find $(q "$tree") -not -path '*/.*' -type f \\( -size +5M -o -mtime +30 \\) -printf '%s %T@ %p\\n' >$(q "$out/find.txt")"
size_cmd="$(q "$CLI") size --json $(q "$tree") >$(q "$out/size.json")"
du_cmd="du -sbl $(q "$tree") >/dev/null"

# Correctness first: a fast wrong answer is worth nothing.
sh -c "$spruce_cmd"
sh -c "$find_cmd"
sh -c "$size_cmd"
read -r _ records files < <(python3 "$here/compare_large_old.py" "$tree" "$oracle" "$out/spruce.json" "$out/find.txt")
python3 - "$oracle" "$out/size.json" <<'PY'
import json, sys
expected = json.load(open(sys.argv[1]))["total_size_nodirs"]
got = json.load(open(sys.argv[2]))[0]["size"]
if got != expected:
    sys.exit(f"spruce-cli size: {got}, oracle total_size_nodirs: {expected}")
print(f"size matches the oracle: {got} bytes", file=sys.stderr)
PY
echo "same files as find and as the oracle" >&2

OUT="$out" RUNS="$runs" RECORDS="$records" FILES="$files" \
SPRUCE="$spruce_cmd" SUMMARY="$summary_cmd" EMPTY="$empty_cmd" FIND="$find_cmd" SIZE="$size_cmd" DU="$du_cmd" \
python3 - <<'PY'
import os, statistics, subprocess, sys, tempfile, time

env = os.environ
runs, records, files = int(env["RUNS"]), int(env["RECORDS"]), int(env["FILES"])
rss_file = tempfile.NamedTemporaryFile(prefix="million-bench-rss-", delete=False).name

def once(command):
    # The previous run's output is removed first: truncating a file of a
    # hundred megabytes is the file system's work, not the tool's.
    for name in ("spruce.json", "find.txt", "size.json"):
        try:
            os.unlink(os.path.join(env["OUT"], name))
        except FileNotFoundError:
            pass
    # GNU time gives the peak RSS of the command (forked from a small shell,
    # not from this interpreter); the wall clock is python's.
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file, "sh", "-c", command])
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed: {command}")
    with open(rss_file) as f:
        return elapsed, int(f.read().split()[-1])  # KiB

timed = ["SPRUCE", "FIND", "SIZE", "DU"]
peak = {}
for name in timed + ["SUMMARY", "EMPTY"]:  # warm the cache; memory does not need rounds
    peak[name] = once(env[name])[1]
times = {name: [] for name in timed}
for _ in range(runs):  # interleaved, so drift hits every tool alike
    for name in timed:
        times[name].append(once(env[name])[0])
median = {name: statistics.median(times[name]) for name in timed}
load = open("/proc/loadavg").read().split()[:3]

mib = lambda kib: kib / 1024
print(f"records over the bands: {records} ({files} files)")
print(f"| | median s | ratio | peak MiB |")
print(f"|---|---|---|---|")
print(f"| large-and-old scan, JSON | {median['SPRUCE']:.2f} | {median['SPRUCE'] / median['FIND']:.2f} x find | {mib(peak['SPRUCE']):.1f} |")
print(f"| find, same filter | {median['FIND']:.2f} | 1 | {mib(peak['FIND']):.1f} |")
print(f"| spruce-cli size | {median['SIZE']:.2f} | {median['SIZE'] / median['DU']:.2f} x du | {mib(peak['SIZE']):.1f} |")
print(f"| du -sbl | {median['DU']:.2f} | 1 | {mib(peak['DU']):.1f} |")
print(f"| scan printing band totals only | - | - | {mib(peak['SUMMARY']):.1f} |")
print(f"| scan of an empty home | - | - | {mib(peak['EMPTY']):.1f} |")
print(f"peak memory: scan {peak['SPRUCE'] / peak['FIND']:.2f} x find's")
print(f"bytes per record: {peak['SPRUCE'] * 1024 / records:.0f} (peak / records), "
      f"{(peak['SPRUCE'] - peak['EMPTY']) * 1024 / records:.0f} (above an empty scan's peak)")
print(f"({runs} interleaved warm rounds, {os.cpu_count()} cores, load average {' '.join(load)})")
os.unlink(rss_file)
PY
