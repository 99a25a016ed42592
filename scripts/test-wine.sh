#!/usr/bin/env bash
# The Wine stage: builds the Windows executables, runs the OS seam's
# conformance suite (avconformance.exe) and every scenario that can run under
# Wine with the 64-bit one, checked as on the sim backend.
#   scripts/test-wine.sh [scenario name...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --windows

JOBS=2 ./scripts/build-windows.sh
cmake -S . -B build-wine-runner -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-wine-runner --target wine_scenarios -j2

./scripts/wine-template.sh build-win64/wine-template
./scripts/wine-conformance.sh --gtest_brief=1
./build-wine-runner/wine_scenarios -j 4 build-win64/avdefupdate.exe build-win64/wine-template \
  tests/scenarios "$@"
