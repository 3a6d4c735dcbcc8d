#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Folder sizing benchmark: spruce against du, find and gdu on the 200k-file tree.
#
#   bench/size_bench.sh [TREE_DIR] [--runs N] [--build-dir DIR]
#
# TREE_DIR (default /tmp/spruce-bench/t200k, never inside the repository) is
# built with the shared generator when missing, together with its oracle
# TREE_DIR.json; an existing tree is reused. The script builds spruce (release
# preset unless --build-dir names a ready build), checks that
# `spruce-cli size --json TREE_DIR` (and bench/tree_size_bench) report the
# oracle's total_size_nodirs, warms the cache, then times N interleaved rounds
# (default 7) of every tool and prints the median wall time, the ratio to
# `du -sbl` and the peak resident memory of each.
#
# Each run is `/usr/bin/time -f %M sh -c COMMAND` (peak RSS of the largest
# process) under a python wall clock (finer than time's 10 ms). Absolute times
# drift on shared machines; compare the ratios, on an otherwise idle machine.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
tree="/tmp/spruce-bench/t200k"
runs=7
build_dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --build-dir) build_dir="$2"; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) tree="$1"; shift ;;
  esac
done
tree="$(realpath -m "$tree")"
case "$tree/" in
  "$repo"/*) echo "refusing to build the benchmark tree inside the repository: $tree" >&2; exit 2 ;;
esac
oracle="$tree.json"

mktree="${MKTREE:-}"
if [ -z "$mktree" ]; then
  for candidate in "$repo/../shared/bench/mktree.py" /work/shared/bench/mktree.py; do
    if [ -f "$candidate" ]; then mktree="$candidate"; break; fi
  done
fi

# Built once; the lock (shared with bench/common.sh's ensure_tree) keeps two
# scripts started together from generating the same tree at once.
mkdir -p "$(dirname "$tree")"
(
  flock 9
  if [ ! -d "$tree" ] || [ ! -f "$oracle" ]; then
    [ -n "$mktree" ] || { echo "mktree.py not found; set MKTREE" >&2; exit 2; }
    echo "building $tree (about 15 s)..." >&2
    python3 "$mktree" --files 200000 --seed 1 "$tree" --oracle "$oracle" --force >&2
  fi
) 9>"$(dirname "$tree")/.mktree.lock"

if [ -z "$build_dir" ]; then
  "$repo/scripts/build.sh" default >/dev/null
  build_dir="$repo/build"
fi
cli="$build_dir/src/cli/spruce-cli"
ts_bench="$build_dir/bench/tree_size_bench"
[ -x "$ts_bench" ] || { echo "missing $ts_bench" >&2; exit 2; }

expected="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["total_size_nodirs"])' "$oracle")"

# Correctness first: a fast wrong answer is worth nothing.
got="$("$ts_bench" "$tree" | cut -f1)"
if [ "$got" != "$expected" ]; then
  echo "tree_size_bench: $got, oracle total_size_nodirs: $expected" >&2
  exit 1
fi
have_cli=0
if [ -x "$cli" ] && cli_json="$("$cli" size --json "$tree" 2>/dev/null)"; then
  got="$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])[0]["size"])' "$cli_json")"
  if [ "$got" != "$expected" ]; then
    echo "spruce-cli size: $got, oracle total_size_nodirs: $expected" >&2
    exit 1
  fi
  have_cli=1
else
  echo "note: spruce-cli size is not available; timing tree_size_bench only" >&2
fi
echo "sizes match the oracle: $expected bytes" >&2

tab=$'\t'
qtree="$(printf %q "$tree")"
tools=()
[ "$have_cli" = 1 ] && tools+=("spruce-cli size$tab$(printf %q "$cli") size $qtree")
tools+=("tree_size_bench$tab$(printf %q "$ts_bench") $qtree")
tools+=("du -sbl$tab""du -sbl $qtree")
tools+=("find -printf + awk sum$tab""find $qtree -printf '%s\n' | awk '{s+=\$1} END {print s}'")
command -v gdu >/dev/null && tools+=("gdu -a -s -n$tab""gdu -a -s -n $qtree")

TOOLS="$(printf '%s\n' "${tools[@]}")" python3 - "$runs" <<'PY'
import os, statistics, subprocess, sys, tempfile, time

runs = int(sys.argv[1])
tools = [line.split("\t", 1) for line in os.environ["TOOLS"].splitlines() if line]
rss_file = tempfile.NamedTemporaryFile(prefix="size-bench-rss-", delete=False).name

def once(command):
    # GNU time reports the peak RSS (the largest process of a pipeline); it is
    # forked from a small process, unlike a child forked from this interpreter,
    # whose ru_maxrss would start at the interpreter's size.
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file, "sh", "-c", command],
                          stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed: {command}")
    with open(rss_file) as f:
        return elapsed, int(f.read().split()[-1])  # KiB

for _, command in tools:  # warm the cache and the binaries
    once(command)
times = {name: [] for name, _ in tools}
rss = {name: [] for name, _ in tools}
for _ in range(runs):  # interleaved, so drift hits every tool alike
    for name, command in tools:
        elapsed, peak = once(command)
        times[name].append(elapsed)
        rss[name].append(peak)

du = statistics.median(times["du -sbl"])
print(f"{runs} interleaved warm runs, {os.cpu_count()} cores")
print(f"| tool | median s | vs du -sbl | peak RSS MiB |")
print(f"|---|---|---|---|")
for name, _ in tools:
    median = statistics.median(times[name])
    print(f"| {name} | {median:.3f} | {median / du:.2f} | {max(rss[name]) / 1024:.1f} |")
os.unlink(rss_file)
PY
