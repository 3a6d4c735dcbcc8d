#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What hostile device-backup data files cost a scan: 21 backups whose
# Info.plist (under 2 KB each) makes one small array appear at 2^19 - 1
# places once every reference is copied, beside one ordinary backup, scanned
# as "spruce-cli scan applicationJunk" with the shipped catalogue. The reader
# refuses them by counting references against its own node limit before
# anything is built; the target is that the scan stays under half a second
# (a few milliseconds per hostile file). Before the per-reader limits each
# such file cost about half a second and 80 MB.
#
# Usage: bench/hostile_plist_bench.sh [runs]   (default 7)
# ANY_LISTING=1 times the scan even when the hostile backups are listed (a
# build from before the limits, given as CLI=...).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-7}
command -v bc >/dev/null || { echo "bench needs bc (apt-get install bc)" >&2; exit 1; }
[ -x "$CLI" ] || { echo "build first: scripts/build.sh default" >&2; exit 1; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
python3 - "$home/.local/share/MobileSync/Backup" <<'PY'
import os, struct, sys
root = sys.argv[1]
def ascii(text):
    return bytes([0x50 | len(text)]) + text.encode()
def plist(objects, top):
    body, offsets = b"bplist00", []
    for o in objects:
        offsets.append(len(body))
        body += o
    table = len(body)
    width = 1 if table < 256 else 2
    for off in offsets:
        body += off.to_bytes(width, "big")
    return body + bytes(6) + bytes([width, 1]) + struct.pack(">QQQ", len(objects), top, table)
levels = 18
first = 4  # dict, two keys, a name; then the arrays
arrays = [bytes([0xA2, first + i + 1, first + i + 1]) for i in range(levels)] + [bytes([0xA0])]
hostile = plist([bytes([0xD2, 1, 3, 2, first]), ascii("Display Name"), ascii("Big"), ascii("Installed Applications")] + arrays, 0)
for i in range(21):
    d = os.path.join(root, "hostile-%02d" % i)
    os.makedirs(d)
    open(os.path.join(d, "Info.plist"), "wb").write(hostile)
d = os.path.join(root, "ordinary")
os.makedirs(d)
open(os.path.join(d, "Info.plist"), "w").write(
    '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>Display Name</key><string>Phone</string>'
    '<key>Product Name</key><string>iPhone</string></dict></plist>')
print("hostile Info.plist: %d bytes" % len(hostile), file=sys.stderr)
PY
# The scan must list the ordinary backup and none of the others.
listed=$("$CLI" --no-progress --home "$home" --json scan applicationJunk \
  | python3 -c 'import json,sys; d=json.load(sys.stdin); print(sum(len(c["files"]) for c in d["modules"][0]["categories"] if c["type"]=="iTunes"))')
[ "$listed" = 1 ] || { echo "expected the ordinary backup alone, got $listed records" >&2; [ -n "${ANY_LISTING:-}" ] || exit 1; }
times=()
for _ in $(seq "$runs"); do
  times+=("$(time_once "$CLI" --no-progress --home "$home" --json scan applicationJunk)")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
rss=$( { /usr/bin/time -f '%M' "$CLI" --no-progress --home "$home" --json scan applicationJunk >/dev/null; } 2>&1 | tail -1)
printf 'scan applicationJunk with 21 hostile backups: median %.3f s over %d runs, peak %d MiB (target < 0.5 s)\n' \
  "$median" "$runs" "$((rss / 1024))"
