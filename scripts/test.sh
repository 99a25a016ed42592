#!/usr/bin/env bash
# Sets everything up and runs every test: a plain build and an
# AddressSanitizer + UBSan build, each with its unit tests and scenarios,
# a clang Debug build with its tests, the fuzz targets briefly, and the
# Windows executable under Wine. Each build is a CMakePresets.json preset.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

./scripts/build.sh build
ctest --preset dev -j"$(nproc)"

./scripts/build.sh build-asan
ctest --preset asan -j"$(nproc)"

# The second compiler (clang, Debug), then the fuzz targets a few seconds
# each over their kept corpora.
./scripts/setup.sh --fuzz
./scripts/build.sh build-clang
ctest --preset clang -j"$(nproc)"
./scripts/build.sh build-fuzz
ctest --preset fuzz

# The real Windows executable under Wine.
./scripts/test-wine.sh
