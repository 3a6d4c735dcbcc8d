#!/usr/bin/env bash
# Installs the Debian packages Spruce needs to build and test, when missing.
# Usage: scripts/deps.sh [build|test]
set -euo pipefail
need=(g++ cmake make pkg-config libplist-dev nlohmann-json3-dev libicu-dev ccache)
if [ "${1:-build}" = test ]; then
  need+=(libgtest-dev python3)
fi
missing=()
for pkg in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
