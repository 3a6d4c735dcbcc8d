# SPDX-License-Identifier: GPL-3.0-or-later
# A private X server for the desktop benchmarks (sourced, not run).
#
# start_private_display FIRST picks a free display number from FIRST to
# FIRST+9 and starts Xvfb there; makes $work, a scratch folder holding
# config/Spruce/Spruce.ini that says the first launch is over (no welcome
# page, no stale settings); and on exit stops $app_pid (when a script sets
# it), stops Xvfb and removes $work. The caller exports DISPLAY="$display"
# with the rest of its environment.
start_private_display() {
  local first=$1 d
  display=""
  for d in $(seq "$first" $((first + 9))); do
    if [ ! -e "/tmp/.X$d-lock" ]; then display=":$d"; break; fi
  done
  [ -n "$display" ] || { echo "no free X display number" >&2; exit 2; }
  work=$(mktemp -d)
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  app_pid=""
  trap stop_private_display EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  mkdir -p "$work/config/Spruce"
  printf '[General]\nHasLaunchedOnce=true\n' >"$work/config/Spruce/Spruce.ini"
}

stop_private_display() {
  if [ -n "${app_pid:-}" ]; then kill "$app_pid" 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
