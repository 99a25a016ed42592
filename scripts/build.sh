#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh <dir> [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAVDEF_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
