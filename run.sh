#!/usr/bin/env bash
# Installs what is missing, builds, and runs Spruce's main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh build
scripts/build.sh default >/dev/null
exec build/src/cli/spruce-cli modules "$@"
