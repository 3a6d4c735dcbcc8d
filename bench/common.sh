# SPDX-License-Identifier: GPL-3.0-or-later
# Shared pieces of the benchmark scripts (sourced, not run).
# The 200k-file tree lives outside the repository; its generator is shared.

BENCH_DIR=${BENCH_DIR:-/tmp/spruce-bench}
TREE=${TREE:-$BENCH_DIR/t200k}
MKTREE=${MKTREE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/shared/bench/mktree.py}
[ -f "$MKTREE" ] || MKTREE=/work/shared/bench/mktree.py
CLI=${CLI:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/src/cli/spruce-cli}

# Builds the 200k-file tree and its oracle once (several scripts may ask at once).
ensure_tree() {
  mkdir -p "$BENCH_DIR"
  (
    flock 9
    if [ ! -f "$TREE.json" ]; then
      rm -rf "$TREE"
      python3 "$MKTREE" --files 200000 --seed 1 "$TREE" --oracle "$TREE.json" >&2
    fi
  ) 9>"$BENCH_DIR/.mktree.lock"
}

# Wall seconds of one run of "$@" (output discarded).
time_once() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# Median of the numbers on stdin.
median() {
  sort -g | awk '{a[NR]=$1} END {if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2] + a[NR/2+1]) / 2}'
}

# Peak resident memory (KiB) of one run of "$@".
peak_kib() {
  /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1
}

# Catalogue pieces for benchmarks: a category dictionary (title, extra keys)
# and a module dictionary (tab, categories).
category() {
  echo "<dict><key>title</key><string>$1</string><key>image</key><string>i</string><key>description</key><string>d</string>$2</dict>"
}
module() {
  echo "<dict><key>title</key><string>$1</string><key>image</key><string>i</string><key>tab</key><string>$1</string><key>description</key><string>d</string><key>features</key><array/><key>categories</key><array>$2</array></dict>"
}

# Writes a five-module catalogue to FILE whose system junk module (1) holds
# the given category dictionaries; the large-and-old module gets its four bands.
write_catalogue() {
  local file=$1 junk=$2
  local bands
  bands="$(category b0 '')$(category b1 '')$(category b2 '')$(category b3 '')"
  cat >"$file" <<PLIST
<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array>
$(module dashboard '')
$(module systemJunk "$junk")
$(module applicationJunk '')
$(module largeAndOldFile "$bands")
$(module moreTool '')
</array></plist>
PLIST
}
