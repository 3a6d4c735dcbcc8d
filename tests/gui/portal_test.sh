#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the GUI test class PortalTest on a private D-Bus session where
# tests/gui/fake_portal.py stands in for the settings portal (answering
# "prefer dark"); the test asks it for SIGUSR1 (a switch to "prefer light")
# through SPRUCE_FAKE_PORTAL_PID.
# Usage: tests/gui/portal_test.sh BINARY
# Exits 77 (ctest: skipped) without dbus-run-session or Python's GObject bindings.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session missing"; exit 77; }
/usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null || { echo "SKIP: python3-gi missing"; exit 77; }
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/config" QT_QPA_PLATFORM=offscreen
exec dbus-run-session -- bash -c '
  /usr/bin/python3 "$0" 1 >"$2/portal.out" &
  portal=$!
  trap "kill $portal 2>/dev/null" EXIT
  for _ in $(seq 1 100); do grep -q ready "$2/portal.out" 2>/dev/null && break; sleep 0.05; done
  SPRUCE_FAKE_PORTAL_PID=$portal "$1" PortalTest
' "$here/fake_portal.py" "$binary" "$runtime"
