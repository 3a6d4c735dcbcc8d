#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The unused-localizations scan over this machine's real data tree, warm.
# Times, interleaved:
#   localization  a catalogue holding only the "Localization" category at ROOT
#   module        spruce-cli scan of the shipped module that holds that category
# and prints what the localization scan found. Target: under 2 s warm.
# Usage: bench/language_bench.sh [runs] [root]   (defaults: 5, /usr/share)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-5}
root=${2:-/usr/share}
command -v bc >/dev/null || { echo "bench needs bc (apt-get install bc)" >&2; exit 1; }

cat_dir=$(mktemp -d)
trap 'rm -rf "$cat_dir"' EXIT
write_catalogue "$cat_dir/c.plist" "$(category languages "<key>url</key><string>file://$root</string><key>type</key><string>Localization</string>")"

# The shipped module whose categories include the "Localization" one.
shipped=$("$CLI" --json modules | python3 -c '
import json, sys
for m in json.load(sys.stdin)["modules"]:
    if any(c.get("type") == "Localization" for c in m.get("categories", [])):
        print(m["tab"]); break')
[ -n "$shipped" ] || { echo "no shipped module holds a Localization category" >&2; exit 1; }

lang_cmd=("$CLI" --no-progress --catalogue "$cat_dir/c.plist" --json scan 1)
module_cmd=("$CLI" --no-progress scan "$shipped")

"${lang_cmd[@]}" >/dev/null; "${module_cmd[@]}" >/dev/null # warm up
: >"$cat_dir/lang"; : >"$cat_dir/module"
for _ in $(seq "$runs"); do
  time_once "${lang_cmd[@]}" >>"$cat_dir/lang"
  time_once "${module_cmd[@]}" >>"$cat_dir/module"
done
l=$(median <"$cat_dir/lang"); m=$(median <"$cat_dir/module")
jobs=$("${lang_cmd[@]}" --stats 2>&1 >/dev/null | sed -n 's/main-queue jobs posted: //p')
found=$("${lang_cmd[@]}" | python3 -c '
import json, sys
c = json.load(sys.stdin)["modules"][0]["categories"][0]
folders = sum(len(f.get("children", [])) for f in c["files"])
print("%d entries, %d folders, %d bytes" % (len(c["files"]), folders, c["size"]))')
printf 'median of %d warm runs (seconds); root %s, %s entries; LANG=%s LANGUAGE=%s\n' \
  "$runs" "$root" "$(find "$root" | wc -l)" "${LANG:-}" "${LANGUAGE:-}"
printf '  localization category  %.3f   found %s; main-queue jobs %s\n' "$l" "$found" "$jobs"
printf '  scan %-18s %.3f\n' "$shipped" "$m"
