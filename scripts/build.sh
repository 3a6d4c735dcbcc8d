#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds one preset (default: "default"). Builds are serialised
# with a lock so parallel sessions on this 2-core machine take turns.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
exec 9>/tmp/spruce-build.lock
flock 9
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
