#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the desktop application: time from launch to the main window on
# screen, and the CPU it uses while idle (no timer may run for a hidden
# screen). Runs the real `spruce` binary under its own Xvfb server.
# Usage: bench/gui_startup_bench.sh [RUNS] [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-10}
IDLE=${2:-30}
APP=${APP:-build/src/app/spruce}
[ -x "$APP" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "needs Xvfb (apt-get install xvfb)" >&2; exit 2; }

# A private X server and settings folder (no first-launch page, no stale state).
# shellcheck source=xvfb.sh
. bench/xvfb.sh
start_private_display 90
export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# 1. Time to window: launch, wait for the probe line, quit. "inside" counts
# from main(); "wall" from the fork to the line, so it includes loading the
# libraries and the process start.
inside=(); wall=()
"$APP" --version >/dev/null 2>&1 || true # warm the page cache once
for _ in $(seq "$RUNS"); do
  start=$(date +%s%N)
  line=$(SPRUCE_STARTUP_PROBE=quit "$APP" 2>&1 >/dev/null | grep -m1 'window shown after' || true)
  end=$(date +%s%N)
  [ -n "$line" ] || { echo "no window reported" >&2; exit 1; }
  inside+=("$(echo "$line" | sed 's/.*after \([0-9]*\) ms/\1/')")
  wall+=("$(( (end - start) / 1000000 ))")
done
echo "time to window over $RUNS launches (ms):"
echo "  from main():        median $(printf '%s\n' "${inside[@]}" | median), max $(printf '%s\n' "${inside[@]}" | sort -n | tail -1)"
echo "  launch to exit:     median $(printf '%s\n' "${wall[@]}" | median), max $(printf '%s\n' "${wall[@]}" | sort -n | tail -1) (includes quitting)"

# 2. Idle: the window on screen, nobody touching it.
"$APP" >/dev/null 2>&1 &
app_pid=$!
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
# Wake-ups of the GUI thread: each one ends in a voluntary context switch when
# it sleeps again (preemptions by other load are not its own wake-ups);
# worker threads come and go. The dashboard's monitors redraw every 2 and 5 s.
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$app_pid/task/$app_pid/status"; }
t0=$(ticks); s0=$(switches)
sleep "$IDLE"
t1=$(ticks); s1=$(switches)
hz=$(getconf CLK_TCK)
echo "idle for ${IDLE} s with the window shown:"
echo "  CPU time:           $(( (t1 - t0) * 1000 / hz )) ms ($(echo "scale=3; ($t1 - $t0) * 100 / $hz / $IDLE" | bc) %)"
echo "  GUI-thread wake-ups: $(( s1 - s0 )) ($(echo "scale=2; ($s1 - $s0) / $IDLE" | bc) per second)"
