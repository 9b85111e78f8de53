#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine (apt-get, as root or with sudo), runs
# the programs from /usr/bin, checks the package with lintian (errors fail; warnings are
# printed) and AppStream's validator, and removes the package again.
#
# Usage: scripts/package-check.sh [build-dir]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build"
rm -f "$build"/telv-console_*.deb
cmake --build "$build" --target package
debs=("$build"/telv-console_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package-check: expected one telv-console_*.deb in $build" >&2
  exit 1
fi
deb=$(realpath "${debs[0]}")
echo "package-check: built $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
installed_before=0
dpkg-query -W -f='${Status}' telv-console 2>/dev/null | grep -q "install ok installed" && installed_before=1
remove_package() {
  if [ "$installed_before" -eq 0 ]; then
    $SUDO apt-get remove -y -qq telv-console >/dev/null || true
  fi
}
trap remove_package EXIT

$SUDO apt-get install -y -qq "$deb"
# No display needed: each prints and exits before any window.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb /usr/bin/telv-console --version
/usr/bin/telv-sim --help >/dev/null
/usr/bin/telv-sim --version
/usr/bin/telv-exporter --help >/dev/null
/usr/bin/telv-exporter --version
for page in telv-console telv-sim telv-exporter; do
  man -l "/usr/share/man/man1/$page.1.gz" >/dev/null
done
appstreamcli validate --no-net /usr/share/metainfo/org.telv.console.metainfo.xml

# Lintian: "E:" lines fail the check.
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
[ -z "$lintian_out" ] || echo "$lintian_out"
if echo "$lintian_out" | grep -q '^E: '; then
  echo "package-check: lintian reports errors" >&2
  exit 1
fi
echo "package-check: package installed, run, checked and removed"
