#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (clang, ASan + UBSan: the "fuzz" preset, build-fuzz/) and runs
# each for a given time, one after the other.
#
# Usage: fuzz/run.sh [SECONDS] [TARGET...]    default: 60 seconds for each of
#        plist catalogue file_url proc_text sys_tree backup_mail
#
# Each target grows its corpus in build-fuzz/corpus/<target>, starting from fuzz/corpus/<target>,
# the property lists in resources/ and the /proc and /sys fixtures in tests/fixtures/. An input
# that crashes is written to build-fuzz/artifacts/<target>/; rerun it with
#   build-fuzz/fuzz/fuzz_<target> build-fuzz/artifacts/<target>/crash-...
# and turn it into an ordinary test in tests/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
[ "$#" -gt 0 ] && shift
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(plist catalogue file_url proc_text sys_tree backup_mail)

# clang and the compiler runtime that holds libFuzzer and the sanitizers.
missing=()
for pkg in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --preset fuzz >/dev/null
# Builds take turns with the other builds of this machine (scripts/build.sh takes the same lock).
flock /tmp/spruce-build.lock cmake --build --preset fuzz -j "$(nproc)"

out=build-fuzz
mkdir -p "$out/logs"
summary=()
for target in "${targets[@]}"; do
  binary="$out/fuzz/fuzz_$target"
  [ -x "$binary" ] || { echo "no fuzz target '$target'" >&2; exit 2; }
  corpus="$out/corpus/$target"
  seeds="$out/seeds/$target"
  rm -rf "$seeds"
  mkdir -p "$corpus" "$seeds" "$out/artifacts/$target"
  cp -r "fuzz/corpus/$target/." "$seeds/"
  case "$target" in
    plist | catalogue | backup_mail) cp resources/*.plist "$seeds/" ;;
    proc_text)
      for f in tests/fixtures/*/proc/stat tests/fixtures/*/proc/meminfo tests/fixtures/*/proc/loadavg \
               tests/fixtures/*/proc/self/mountinfo tests/fixtures/*/proc/[0-9]*/stat \
               tests/fixtures/*/proc/[0-9]*/status tests/fixtures/mountinfo/*; do
        [ -f "$f" ] && cp "$f" "$seeds/$(echo "$f" | tr '/' '_')"
      done ;;
  esac
  dict=()
  case "$target" in plist | catalogue | backup_mail) dict=(-dict=fuzz/plist.dict) ;; esac

  echo "== $target: $seconds s" >&2
  status=0
  # Leaks inside libplist's own error paths are not ours to fix.
  LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$out/artifacts/$target/" "${dict[@]}" "$corpus" "$seeds" \
      >"$out/logs/$target.log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$target.log" | tail -1)
  found=$(find "$out/artifacts/$target" -type f | wc -l)
  summary+=("$(printf '%-12s %12s executions  %3s artifacts  exit %s' "$target" "${runs:-?}" "$found" "$status")")
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|runtime error|invariant|SUMMARY' "$out/logs/$target.log" | head -5 >&2 || true
  fi
done
printf '%s\n' "${summary[@]}"
