#!/usr/bin/env bash
# Sets everything up and runs every test: a plain build and an
# AddressSanitizer + UBSan build, each with its unit tests and scenarios.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

./scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"

./scripts/build.sh build-asan -DAVDEF_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

# The real Windows executable under Wine.
./scripts/test-wine.sh
