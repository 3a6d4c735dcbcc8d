#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the trust features cost on the 200k-file tree, as ratios measured in
# the same run (the machine is shared: absolute times drift).
#
#   1. The tagged-cache search (build/bench/tagged_search_bench, the search
#      alone) against `find ROOT -name CACHEDIR.TAG`:
#        - on the tree as it is: no tag anywhere, so the search reads every folder;
#        - on a hard-linked copy (cp -al: the tree's own files are shared, never
#          changed) with a valid tag put in every 97th folder and one with a
#          wrong signature in every 89th (folders in sorted order). The search's
#          answer is checked against the tags placed: every valid one that is
#          not inside another.
#   2. The always-keep list: the large-and-old scan of the copy as home folder
#      and a "Folder" category over the copy, with no list and with 1 000 kept
#      paths (existing files picked evenly through the tree).
#
# Usage: bench/trust_bench.sh [runs]   (default 7; builds the tree once)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-7}
command -v bc >/dev/null || { echo "bench needs bc (apt-get install bc)" >&2; exit 1; }
ensure_tree
SEARCH=${SEARCH:-$(pwd)/build/bench/tagged_search_bench}
COPY=${COPY:-$BENCH_DIR/t200k-tagged}
[ -x "$SEARCH" ] || { echo "build first: scripts/build.sh default" >&2; exit 1; }

# The tagged copy, made once.
(
  flock 9
  if [ ! -f "$COPY/.tags-placed" ]; then
    rm -rf "$COPY"
    cp -al "$TREE" "$COPY"
    python3 - "$COPY" <<'PY'
import os, sys
root = sys.argv[1]
dirs = []
for d, subdirs, _ in os.walk(root):
    subdirs[:] = [s for s in subdirs if not os.path.islink(os.path.join(d, s))]
    if d != root:
        dirs.append(d)
dirs.sort(key=os.fsencode)
good = "Signature: 8a477f597d28d172789f06886806bc55\n# a cache directory tag\n"
bad = "Signature: 8a477f597d28d172789f06886806bc56\n"
valid = []
for i, d in enumerate(dirs, 1):
    if i % 97 == 0:
        open(os.path.join(d, "CACHEDIR.TAG"), "w").write(good)
        valid.append(d)
    elif i % 89 == 0:
        open(os.path.join(d, "CACHEDIR.TAG"), "w").write(bad)
# What the search must answer: valid tags not inside another valid one.
expected = [d for d in valid if not any(d.startswith(o + "/") for o in valid)]
with open(os.path.join(root, ".tags-expected"), "wb") as f:
    f.write(b"".join(os.fsencode(d) + b"\n" for d in sorted(expected, key=os.fsencode)))
open(os.path.join(root, ".tags-placed"), "w").write("%d valid, %d expected\n" % (len(valid), len(expected)))
PY
  fi
) 9>"$BENCH_DIR/.tagged-copy.lock"

if ! LC_ALL=C "$SEARCH" "$COPY" | cmp -s - "$COPY/.tags-expected"; then
  echo "tagged_search_bench does not find exactly the placed tags" >&2
  exit 1
fi
[ -z "$("$SEARCH" "$TREE")" ] || { echo "tags found in the untagged tree" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Interleaved, warm: median seconds of each command, in order.
time_all() {
  local n=$#
  local i
  for i in $(seq "$n"); do : >"$work/t$i"; done
  for cmd in "$@"; do bash -c "$cmd" >/dev/null 2>&1; done # warm up
  for _ in $(seq "$runs"); do
    i=1
    for cmd in "$@"; do
      time_once bash -c "$cmd" >>"$work/t$i"
      i=$((i + 1))
    done
  done
  for i in $(seq "$n"); do median <"$work/t$i"; done
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r s_plain f_plain s_tagged f_tagged <<<"$(time_all \
  "'$SEARCH' '$TREE'" "find '$TREE' -name CACHEDIR.TAG" \
  "'$SEARCH' '$COPY'" "find '$COPY' -name CACHEDIR.TAG" | tr '\n' ' ')"
printf 'tagged-cache search, median of %d warm runs (seconds)\n' "$runs"
printf '  untagged tree  search %.3f  find %.3f  ratio %.2f\n' "$s_plain" "$f_plain" "$(echo "$s_plain / $f_plain" | bc -l)"
printf '  tagged copy    search %.3f  find %.3f  ratio %.2f  (%s)\n' "$s_tagged" "$f_tagged" \
  "$(echo "$s_tagged / $f_tagged" | bc -l)" "$(cat "$COPY/.tags-placed")"

# The keep list: 1 000 existing files of the copy, as file URLs.
keepfile="$COPY/.config/Spruce/always-keep"
mkdir -p "$(dirname "$keepfile")"
python3 - "$COPY" "$work/keep1000" <<'PY'
import os, sys, urllib.parse
root, out = sys.argv[1:3]
files = []
for d, subdirs, names in os.walk(root):
    subdirs[:] = [s for s in subdirs if not s.startswith(".")]
    files += [os.path.join(d, n) for n in names if not n.startswith(".") and n != "CACHEDIR.TAG"]
files.sort(key=os.fsencode)
step = max(1, len(files) // 1000)
picked = files[::step][:1000]
with open(out, "wb") as f:
    for p in picked:
        f.write(("file://" + urllib.parse.quote_from_bytes(os.fsencode(p), safe="/") + "\n").encode())
PY
# The large-and-old scan walks the copy as home folder (its list in the copy's
# .config); the Folder category is the whole copy, scanned from another home
# (a location may not be the home itself), whose list names the same files.
write_catalogue "$work/none.plist" ""
write_catalogue "$work/tree.plist" "$(category tree "<key>url</key><string>file://$COPY/</string>")"
mkdir -p "$work/home/.config/Spruce"
homekeep="$work/home/.config/Spruce/always-keep"
scan3="'$CLI' --no-progress --catalogue '$work/none.plist' --home '$COPY' --json scan 3"
scan1="'$CLI' --no-progress --catalogue '$work/tree.plist' --home '$work/home' --json scan 1"
for cmd in "$scan3" "$scan1"; do
  bash -c "$cmd" | python3 -c 'import json,sys; d=json.load(sys.stdin); assert d["modules"][0]["size"] > 0' \
    || { echo "scan failed: $cmd" >&2; exit 1; }
done
without="rm -f '$keepfile' '$homekeep'"
with="cp '$work/keep1000' '$keepfile'; cp '$work/keep1000' '$homekeep'"
read -r l0 l1 f0 f1 <<<"$(time_all "$without; $scan3" "$with; $scan3" "$without; $scan1" "$with; $scan1" | tr '\n' ' ')"
rm -f "$keepfile"
printf 'always-keep list, median of %d warm runs (seconds)\n' "$runs"
printf '  large-and-old scan   no list %.3f  1000 kept %.3f  ratio %.3f\n' "$l0" "$l1" "$(echo "$l1 / $l0" | bc -l)"
printf '  Folder category scan no list %.3f  1000 kept %.3f  ratio %.3f\n' "$f0" "$f1" "$(echo "$f1 / $f0" | bc -l)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
