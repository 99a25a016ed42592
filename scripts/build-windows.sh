#!/usr/bin/env bash
# Cross-compiles avdefupdate.exe for 64-bit and 32-bit Windows:
#   build-win64/avdefupdate.exe and build-win32/avdefupdate.exe.
# Needs g++-mingw-w64-x86-64-posix, g++-mingw-w64-i686-posix, libz-mingw-w64-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
for pair in x86_64:build-win64 i686:build-win32; do
  arch="${pair%%:*}"
  dir="${pair#*:}"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DAVDEF_TESTS=OFF -DAVDEF_WERROR=ON --no-warn-unused-cli >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "built $dir/avdefupdate.exe"
done
