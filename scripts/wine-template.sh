#!/usr/bin/env bash
# Makes the Wine prefix that every Wine scenario starts from a copy of
# (default build-win64/wine-template); an existing complete one is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$(realpath -m "${1:-build-win64/wine-template}")"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

if [[ -f "$dir/.avdef-template" ]]; then
  echo "wine template: reusing $dir"
  exit 0
fi

tmp="$dir.new"
rm -rf "$tmp"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX="$tmp" WINEDEBUG=-all TZ=UTC
# No display and no network: no Mono or Gecko installer prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
start=$SECONDS
"$wine" wineboot -i
"$wine" winecfg /v win10
# -k rather than -w: -w waits on helpers that may linger; killing the server
# still writes the registry out.
"$wineserver" -k || true
[[ -f "$tmp/system.reg" ]] || { echo "wine template: wineboot made no prefix in $tmp" >&2; exit 1; }
touch "$tmp/.avdef-template"
rm -rf "$dir"
mv "$tmp" "$dir"
echo "wine template: made $dir in $((SECONDS - start)) s"
