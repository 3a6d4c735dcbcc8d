#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The catalogue's reach and cost: on a realistic home of many applications
# (bench/junk_home.py: junk planted beside personal files), how much of the
# junk a scan of modules 1 and 2 lists and a clean of everything removes, and
# how many personal bytes go (must be 0); then the time of that scan on the
# home and on the 200k-file tree as a home, with the catalogue before the
# patterns and exclusions (git revision BEFORE) and with today's, the same
# binary for both. With BleachBit installed, its preview on the same home.
# Usage: bench/junk_home_bench.sh [runs] [BEFORE]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-5}
before=${2:-c654cf9}
ensure_tree
# A scan exits 1 when some folder could not be read; the time still counts.
scan_anyway() { "$@" || true; }

work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
git show "$before:resources/SpruceModules.plist" >"$work/before.plist"
cp resources/SpruceModules.plist "$work/after.plist"

python3 bench/junk_home.py make "$work/home"
python3 bench/junk_home.py make "$work/home-bb" >/dev/null # the same home, for BleachBit
for which in before after; do
  echo "== catalogue $which"
  python3 bench/junk_home.py measure "$work/home" --cli "$CLI" --catalogue "$work/$which.plist" --rounds "$runs" | grep -v '^  missed' || true
done
echo "== clean (today's catalogue)"
python3 bench/junk_home.py measure "$work/home" --cli "$CLI" --catalogue "$work/after.plist" --clean | grep -v '^  missed (' || true

echo "== the 200k-file tree as a home: scan 1 2, median of $runs warm runs (seconds)"
for which in before after; do
  cmd=("$CLI" --no-progress --catalogue "$work/$which.plist" --home "$TREE" --json scan 1 2)
  "${cmd[@]}" >/dev/null 2>&1 || true
  : >"$work/t-$which"
  for _ in $(seq "$runs"); do time_once scan_anyway "${cmd[@]}" >>"$work/t-$which"; done
  printf '  %-6s %.3f\n' "$which" "$(median <"$work/t-$which")"
done

if command -v bleachbit >/dev/null; then
  echo "== BleachBit $(bleachbit --version 2>/dev/null | sed -n 's/^BleachBit version //p') (preview only)"
  python3 bench/junk_home.py bleachbit "$work/home-bb" | grep -v '^  missed' || true
fi
