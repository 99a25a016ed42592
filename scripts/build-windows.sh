#!/usr/bin/env bash
# Cross-compiles avdefupdate.exe for 64-bit and 32-bit Windows (the presets
# windows-x64 and windows-x86): build-win64/avdefupdate.exe and
# build-win32/avdefupdate.exe, and the OS seam's conformance suite
# build-win64/avconformance.exe.  scripts/build-windows.sh [cmake options...]
# Needs g++-mingw-w64-x86-64-posix, g++-mingw-w64-i686-posix, libz-mingw-w64-dev
# and googletest (scripts/setup.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
# The suite runs under wine64, so only the 64-bit tree builds it.
for triple in windows-x64:build-win64:ON windows-x86:build-win32:OFF; do
  preset="${triple%%:*}"
  rest="${triple#*:}"
  dir="${rest%%:*}"
  tests="${rest#*:}"
  cmake --preset "$preset" -B "$dir" -DAVDEF_TESTS="$tests" --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "built $dir/avdefupdate.exe"
done
