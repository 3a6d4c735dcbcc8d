#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks a large-and-old scan against find(1) and the generator's oracle.

  compare_large_old.py TREE ORACLE SPRUCE_JSON FIND_TXT

SPRUCE_JSON is `spruce-cli --home TREE --json scan largeAndOldFile`; FIND_TXT
is `find TREE -not -path '*/.*' -type f \\( -size +5M -o -mtime +30 \\)
-printf '%s %T@ %p\\n'`. Both must name exactly the oracle's "cleanup" files
with the same sizes; each band's size must be the sum of its records. The
scan lists a file once per band it falls in, so files are compared as a set.
Prints "records FILES" (records over the bands) on stdout; exit 1 on any
mismatch.
"""
import json
import sys
import urllib.parse

tree, oracle_path, spruce_path, find_path = sys.argv[1:5]
root = tree.encode()


def relative(path):
    if not path.startswith(root + b"/"):
        sys.exit(f"outside the tree: {path!r}")
    return path[len(root) + 1:]


spruce = {}
records = 0
for module in json.load(open(spruce_path, "rb"))["modules"]:
    for band in module["categories"]:
        total = 0
        for record in band["files"]:
            path = urllib.parse.unquote_to_bytes(record["url"][len("file://"):])
            spruce[relative(path)] = record["size"]
            total += record["size"]
            records += 1
        if total != band["size"]:
            sys.exit(f"band {band['index']}: size {band['size']} but its records sum to {total}")

found = {}
with open(find_path, "rb") as lines:
    for line in lines:
        size, _mtime, path = line.rstrip(b"\n").split(b" ", 2)
        found[relative(path)] = int(size)

oracle = {}
for path, size, _mtime in json.load(open(oracle_path))["cleanup"]["files"]:
    raw = bytes.fromhex(path["hex"]) if isinstance(path, dict) else path.encode()
    oracle[raw] = size


def compare(name_a, a, name_b, b):
    only_a, only_b = sorted(set(a) - set(b)), sorted(set(b) - set(a))
    if only_a or only_b:
        print(f"MISMATCH {name_a} vs {name_b}: {len(only_a)} only in {name_a}, {len(only_b)} only in {name_b}",
              file=sys.stderr)
        for p in only_a[:5]:
            print(f"  only {name_a}: {p!r}", file=sys.stderr)
        for p in only_b[:5]:
            print(f"  only {name_b}: {p!r}", file=sys.stderr)
        return False
    wrong = [p for p in a if a[p] != b[p]]
    if wrong:
        print(f"MISMATCH {name_a} vs {name_b}: {len(wrong)} sizes differ, e.g. {wrong[0]!r}", file=sys.stderr)
        return False
    return True


ok = compare("spruce", spruce, "find", found) & compare("spruce", spruce, "oracle", oracle)
print(f"files: spruce {len(spruce)} ({records} records over the bands), find {len(found)}, oracle {len(oracle)}",
      file=sys.stderr)
print(f"records {records} {len(spruce)}")
sys.exit(0 if ok else 1)
