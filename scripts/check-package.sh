#!/usr/bin/env bash
# Builds the .deb from a finished build folder, installs it on this machine,
# checks the installation (scripts/check-installed.sh), recovers the README's
# sample card with the installed /usr/bin/vexlo-recover, and removes the
# package again. Needs root (dpkg); CI runs it on a fresh machine.
# Usage: scripts/check-package.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
package=vexlo-sd-recovery

if [ "$(id -u)" -ne 0 ]; then
  echo "check-package: installing a package needs root (sudo $0)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log") || {
  cat "$work/cpack.log" >&2
  exit 1
}
deb=$(find "$work/deb" -maxdepth 1 -name "${package}_*.deb" | head -n 1)
[ -n "$deb" ] || {
  echo "check-package: cpack made no .deb" >&2
  exit 1
}
dpkg-deb --field "$deb" Package Version Depends Recommends

dpkg -i "$deb"
/usr/bin/vexlo-recover --version
status=0
scripts/check-installed.sh /usr "$build" || status=1

# The README's sample recovery, with the installed program.
xz -dc samples/sample-card.img.xz >"$work/sample-card.img"
if XDG_DATA_HOME=$work/data /usr/bin/vexlo-recover recover "$work/sample-card.img" --to "$work/recovered" --mode quick; then
  found=$(find "$work/recovered" -type f | wc -l)
  echo "check-package: the installed vexlo-recover recovered $found files from the sample card"
  [ "$found" -gt 0 ] || status=1
else
  echo "check-package: the installed vexlo-recover failed on the sample card" >&2
  status=1
fi

dpkg -r "$package"
if dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed"; then
  echo "check-package: $package is still installed after dpkg -r" >&2
  status=1
fi
left=$(dpkg-deb --contents "$deb" | awk '{ print substr($6, 2) }' | while read -r path; do
  [ -f "$path" ] && echo "$path"
done || true)
if [ -n "$left" ]; then
  echo "check-package: files left behind by dpkg -r: $left" >&2
  status=1
fi
exit "$status"
