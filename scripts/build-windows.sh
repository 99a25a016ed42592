#!/usr/bin/env bash
# Cross-compiles avdefupdate.exe for 64-bit and 32-bit Windows:
#   build-win64/avdefupdate.exe and build-win32/avdefupdate.exe,
# and the OS seam's conformance suite build-win64/avconformance.exe.
# Needs g++-mingw-w64-x86-64-posix, g++-mingw-w64-i686-posix, libz-mingw-w64-dev
# and googletest (scripts/setup.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
# The suite runs under wine64, so only the 64-bit tree builds it.
for triple in x86_64:build-win64:ON i686:build-win32:OFF; do
  arch="${triple%%:*}"
  rest="${triple#*:}"
  dir="${rest%%:*}"
  tests="${rest#*:}"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DAVDEF_TESTS="$tests" -DAVDEF_WERROR=ON --no-warn-unused-cli \
    "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "built $dir/avdefupdate.exe"
done
