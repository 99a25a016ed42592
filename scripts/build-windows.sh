#!/usr/bin/env bash
# Cross-compiles avdefupdate.exe for 64-bit and 32-bit Windows (the presets
# windows-x64 and windows-x86): build-win64/avdefupdate.exe and
# build-win32/avdefupdate.exe.  scripts/build-windows.sh [cmake options...]
# Needs g++-mingw-w64-x86-64-posix, g++-mingw-w64-i686-posix, libz-mingw-w64-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
for pair in windows-x64:build-win64 windows-x86:build-win32; do
  preset="${pair%%:*}"
  dir="${pair#*:}"
  cmake --preset "$preset" -B "$dir" --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "built $dir/avdefupdate.exe"
done
