#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree and checks it: the control
# fields and computed dependencies, the AppStream metainfo, the .desktop file,
# the man pages and the bash completion, and the unpacked binaries run from
# the unpacked tree (their resources found relative to the binary).
# Reuses build/ (as ./test.sh leaves it); installs its validation tools with
# apt-get when they are missing.
# Usage: packaging/check.sh
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "check.sh: $*"; }
fail() {
  echo "check.sh: FAILED: $*" >&2
  exit 1
}

# Validation tools: appstreamcli, desktop-file-validate, dpkg-shlibdeps (which
# cpack's DEB generator runs, with `file`), and man for the man page lint.
tools=(appstream desktop-file-utils dpkg-dev file man-db libxml2-utils)
missing=()
for pkg in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
  say "installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

scripts/deps.sh
scripts/build.sh default >/dev/null # up to date after ./test.sh: nothing is rebuilt

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
arch=$(dpkg --print-architecture)
deb=build/spruce_${version}_${arch}.deb
rm -f "$deb"
(cd build && cpack -G DEB >cpack.log 2>&1) || fail "cpack -G DEB: $(cat build/cpack.log)"
[ -f "$deb" ] || fail "cpack did not write $deb"
say "built $deb ($(du -h "$deb" | cut -f1))"

# Control fields: the version of project(), dependencies computed from the binaries.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = spruce ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
for lib in libc6 libstdc++6 libplist3 libicu72 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done
say "Depends: $depends"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
root=$scratch/root
appid=$(sed -n 's/^SPRUCE_APP_ID:STRING=//p' build/CMakeCache.txt)
for f in usr/bin/spruce usr/bin/spruce-cli \
  usr/share/spruce/resources/SpruceModules.plist usr/share/spruce/resources/more-tools.html \
  usr/share/spruce/resources/SpruceUI.plist usr/share/spruce/resources/SpruceUI-Dark.plist \
  usr/share/applications/spruce.desktop "usr/share/metainfo/$appid.metainfo.xml" \
  usr/share/icons/hicolor/scalable/apps/spruce.svg usr/share/icons/hicolor/48x48/apps/spruce.png \
  usr/share/icons/hicolor/256x256/apps/spruce.png \
  usr/share/man/man1/spruce.1.gz usr/share/man/man1/spruce-cli.1.gz \
  usr/share/bash-completion/completions/spruce-cli usr/share/doc/spruce/copyright \
  usr/libexec/spruce/spruce-admin usr/share/polkit-1/actions/io.github.spruce-cleaner.policy; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
if dpkg-deb -c "$deb" | grep -Ev '^[d-]r[w-]xr-xr-x root/root|^-rw-r--r-- root/root' >&2; then
  fail "files above are not owned by root or have unusual permissions"
fi
if file "$root/usr/bin/spruce" "$root/usr/bin/spruce-cli" "$root/usr/libexec/spruce/spruce-admin" | grep -q 'not stripped'; then
  fail "the binaries are not stripped"
fi

appstreamcli validate --no-net "$root/usr/share/metainfo/$appid.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$root/usr/share/metainfo/$appid.metainfo.xml")"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/usr/share/metainfo/$appid.metainfo.xml" ||
  fail "the metainfo does not name the project's licence"
copyright=$root/usr/share/doc/spruce/copyright
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "/usr/share/doc/spruce/copyright is not in the machine-readable format"
grep -q '^License: GPL-3.0-or-later$' "$copyright" || fail "the copyright file does not carry GPL-3.0-or-later"
# Every source file names its licence in its first lines.
unlabelled=$(find src tests bench fuzz scripts packaging CMakeLists.txt test.sh run.sh .ci \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.h.in' -o -name '*.sh' -o -name '*.py' -o -name CMakeLists.txt -o -name run \) \
  -type f -exec sh -c 'head -3 "$1" | grep -q SPDX-License-Identifier || echo "$1"' _ {} \; 2>/dev/null | head -5)
[ -z "$unlabelled" ] || fail "source files without an SPDX licence line: $unlabelled"
newest=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/$appid.metainfo.xml" | head -1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest release in the metainfo is $newest, not $version"
desktop-file-validate "$root/usr/share/applications/spruce.desktop" || fail "desktop-file-validate"
# The polkit policy: valid against polkit's DTD (where polkitd provides it),
# naming the helper where the package puts it; the helper is not setuid.
policy=$root/usr/share/polkit-1/actions/io.github.spruce-cleaner.policy
if [ -f /usr/share/polkit-1/policyconfig-1.dtd ]; then
  xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy" || fail "the polkit policy is not valid"
else
  xmllint --noout "$policy" || fail "the polkit policy is not well-formed XML"
fi
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/libexec/spruce/spruce-admin</annotate>' "$policy" ||
  fail "the polkit policy does not name /usr/libexec/spruce/spruce-admin"
grep -q '<allow_active>auth_admin_keep</allow_active>' "$policy" || fail "the polkit policy does not ask for auth_admin_keep"
[ -z "$(find "$root/usr" -perm /6000)" ] || fail "setuid or setgid files in the package: $(find "$root/usr" -perm /6000)"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $(basename "$page"): $warnings"
done
bash -n "$root/usr/share/bash-completion/completions/spruce-cli" || fail "bash completion does not parse"
say "metainfo, .desktop file, man pages and completion are valid"

# The unpacked binaries find their resources relative to themselves.
unset SPRUCE_RESOURCES
[ "$("$root/usr/bin/spruce-cli" --version)" = "spruce-cli $version" ] || fail "spruce-cli --version"
[ "$("$root/usr/bin/spruce" --version)" = "spruce $version" ] || fail "spruce --version"
modules=$(HOME="$scratch" "$root/usr/bin/spruce-cli" modules) || fail "spruce-cli modules"
grep -q '^4 More Tools (moreTool)$' <<<"$modules" || fail "spruce-cli modules printed: $modules"
grep -q '^5 System (system)$' <<<"$modules" || fail "spruce-cli modules lacks the system module: $modules"
# The helper refuses anyone but root, and anything but its fixed actions.
code=0
"$root/usr/libexec/spruce/spruce-admin" rm-rf:/ 2>/dev/null || code=$?
[ "$code" -ne 0 ] || fail "spruce-admin took an unknown action"
# A settings file of its own, so that no first-launch page is opened.
mkdir -p "$scratch/config/Spruce"
printf '[General]\nHasLaunchedOnce=true\n' >"$scratch/config/Spruce/Spruce.ini"
HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
  SPRUCE_STARTUP_PROBE=quit timeout 60 "$root/usr/bin/spruce" >/dev/null 2>"$scratch/spruce.log" ||
  fail "the unpacked spruce did not start: $(cat "$scratch/spruce.log")"
say "the unpacked spruce-cli and spruce run from $root"
say "OK $deb"
