#!/usr/bin/env bash
# Runs the OS seam's conformance suite (build-win64/avconformance.exe) under
# Wine, in a throw-away copy of the template prefix that the scenarios use.
#   scripts/wine-conformance.sh [gtest options...]
# Needs build-win64 (scripts/build-windows.sh) and the template
# (scripts/wine-template.sh); scripts/test-wine.sh does all three.
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$(realpath build-win64/avconformance.exe)"
template="$(realpath build-win64/wine-template)"
[[ -f "$template/.avdef-template" ]] || { echo "wine-conformance: no template in $template" >&2; exit 1; }

prefix="$(mktemp -d "${TMPDIR:-/tmp}/avdef-conformance-XXXXXX")"
export WINEPREFIX="$prefix/prefix" WINEDEBUG=-all TZ=UTC WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
cp -a "$template" "$WINEPREFIX"
timeout 600 /usr/lib/wine/wine64 "$exe" "$@"
