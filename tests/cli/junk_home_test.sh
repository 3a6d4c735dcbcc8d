#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A realistic home of many applications (bench/junk_home.py), junk planted
# beside what people keep: a scan of modules 1 and 2 with the shipped
# catalogue lists every piece of junk, and a clean of everything leaves every
# personal file byte for byte. Runs in a private temporary folder.
# Usage: junk_home_test.sh SPRUCE_CLI SOURCE_DIR
set -euo pipefail
cli=$1
src=$2
command -v python3 >/dev/null || { echo "python3 is needed"; exit 77; }
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
python3 "$src/bench/junk_home.py" make "$work/home" --scale 0.01
python3 "$src/bench/junk_home.py" measure "$work/home" --cli "$cli" \
  --catalogue "$src/resources/SpruceModules.plist" --clean --strict
