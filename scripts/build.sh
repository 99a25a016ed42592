#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh <dir> [cmake options...]
# The configuration is the CMakePresets.json preset that names that folder
# (build-asan: asan, build-fuzz: fuzz, build-clang: clang, build-release:
# release, build-win64/build-win32: windows-x64/windows-x86; any other: dev),
# or PRESET=<name>; the tree goes to <dir> whatever the preset's own folder.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
preset="${PRESET:-}"
if [[ -z "$preset" ]]; then
  case "$(basename "$dir")" in
    build-asan) preset=asan ;;
    build-fuzz) preset=fuzz ;;
    build-clang) preset=clang ;;
    build-release) preset=release ;;
    build-win64) preset=windows-x64 ;;
    build-win32) preset=windows-x86 ;;
    *) preset=dev ;;
  esac
fi
cmake --preset "$preset" -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j"${JOBS:-$(nproc)}"
