#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for the
# given time with its corpus: scripts/fuzz.sh [seconds] [target...]
# What a run finds goes to build-fuzz/fuzz/found/<target>/; a crash leaves
# crash-* files there: fix the fault, then keep the input in fuzz/corpus/<target>/.
#   scripts/fuzz.sh --one <binary> <seconds> <corpus> <scratch>   (one target; the ctest form)
set -euo pipefail
cd "$(dirname "$0")/.."

run_one() {
  local binary="$1" seconds="$2" corpus="$3" scratch="$4"
  mkdir -p "$scratch"
  # New inputs go to the scratch folder, never into the kept corpus.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$scratch/" -print_final_stats=1 -print_funcs=0 "$scratch" "$corpus"
}

if [[ "${1:-}" == "--one" ]]; then
  shift
  run_one "$@"
  exit
fi

seconds="${1:-60}"
shift || true
./scripts/setup.sh --fuzz
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
CXX=clang++ ./scripts/build.sh build-fuzz -DAVDEF_FUZZ=ON -DAVDEF_TESTS=OFF
targets=("$@")
if ((${#targets[@]} == 0)); then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
for t in "${targets[@]}"; do
  echo "== $t (${seconds} s)"
  log="build-fuzz/fuzz/found/$t.log"
  mkdir -p "build-fuzz/fuzz/found"
  status=0
  run_one "build-fuzz/fuzz/fuzz_$t" "$seconds" "fuzz/corpus/$t" "build-fuzz/fuzz/found/$t" >"$log" 2>&1 || status=$?
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Test unit written)" "$log" || true
  if ((status != 0)); then
    echo "fuzz: $t failed (exit $status); see $log" >&2
    exit "$status"
  fi
done
