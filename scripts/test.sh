#!/usr/bin/env bash
# Sets everything up and runs every test: a plain build and an
# AddressSanitizer + UBSan build, each with its unit tests and scenarios,
# the fuzz targets briefly, and the Windows executable under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

./scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"

./scripts/build.sh build-asan -DAVDEF_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

# The fuzz targets, a few seconds each over their kept corpora (clang).
./scripts/setup.sh --fuzz
CXX=clang++ ./scripts/build.sh build-fuzz -DAVDEF_FUZZ=ON -DAVDEF_TESTS=OFF
ctest --test-dir build-fuzz --output-on-failure

# The real Windows executable under Wine.
./scripts/test-wine.sh
