#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the live monitors cost: the real `spruce` under its own Xvfb, after
# the disk split is measured, for SECONDS each
#   1. with the dashboard shown (four monitors redrawn every 2 and 5 s),
#   2. with the window unmapped, as a desktop does on another workspace,
#   3. with the window back but another screen (System Junk) selected,
#   4. back on the dashboard (the monitors resume).
# Reports the CPU time of the whole process (percent of one core) and the
# wake-ups of the GUI thread (its voluntary context switches) per phase.
# Needs Xvfb and xdotool (apt-get install xvfb xdotool).
# Usage: bench/dashboard_bench.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_PHASE=${1:-60}
APP=${APP:-build/src/app/spruce}
[ -x "$APP" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 2; }
done

# shellcheck source=xvfb.sh
. bench/xvfb.sh
start_private_display 70
mkdir -p "$work/home"
export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" HOME="$work/home" QT_QPA_PLATFORM=xcb

"$APP" >"$work/spruce.log" 2>&1 &
app_pid=$!
# The disk graph's first draw measures the applications and backups once; wait for both.
for _ in $(seq 600); do
  grep -q 'THE Apps SIZE IS' "$work/spruce.log" && grep -q 'THE IOS SIZE IS' "$work/spruce.log" && break
  sleep 0.2
done
sleep 3
window=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1)
[ -n "$window" ] || { echo "no window of spruce found" >&2; exit 1; }

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
wakeups() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$app_pid/task/$app_pid/status"; }
measure() {
  local label=$1 t0 w0 t1 w1
  t0=$(ticks); w0=$(wakeups)
  sleep "$SECONDS_PER_PHASE"
  t1=$(ticks); w1=$(wakeups)
  printf '%-44s CPU %5d ms = %6.3f %% of a core   GUI-thread wake-ups %4d (%.2f/s)\n' "$label" \
    $(( (t1 - t0) * 1000 / hz )) "$(echo "scale=4; ($t1 - $t0) * 100 / $hz / $SECONDS_PER_PHASE" | bc)" \
    $(( w1 - w0 )) "$(echo "scale=3; ($w1 - $w0) / $SECONDS_PER_PHASE" | bc)"
}

echo "over ${SECONDS_PER_PHASE} s each:"
measure "dashboard shown, four monitors live"
xdotool windowunmap --sync "$window"
sleep 1
measure "window unmapped (another workspace)"
xdotool windowmap --sync "$window"
sleep 2
# The System Junk row of the module list (brand 72 px, rows of 100 px).
xdotool mousemove --window "$window" 100 240 click 1
sleep 2
measure "window shown, another screen selected"
xdotool mousemove --window "$window" 100 140 click 1
sleep 2
measure "dashboard selected again"
