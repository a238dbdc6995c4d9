#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in a build folder of their own, then runs each one, one
# after the other on one core: first over its committed corpus, then for SECONDS more.
# New inputs go to a working corpus in the build folder, crashes to its artifacts folder.
# Prints executions, corpus size and crashes per target; exits non-zero on any crash.
#
# Usage: fuzz.sh [SECONDS] [TARGET...]   (default 60 seconds, every target)
#   FUZZ_BUILD_DIR   build folder (default build-fuzz)
#   FUZZ_MAX_RUNS    stop a target after this many executions instead (e.g. 10000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIL_FUZZ=ON -DQUORVIL_BUILD_TESTS=OFF \
  -DQUORVIL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

limit=(-max_total_time="$seconds")
if [ -n "${FUZZ_MAX_RUNS:-}" ]; then limit=(-runs="$FUZZ_MAX_RUNS" -max_total_time="$seconds"); fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
failed=0
summary=$(printf '%-16s %12s %8s %8s %s\n' target executions corpus crashes result)
for target in "${targets[@]}"; do
  seeds=$root/fuzz/corpus/$target
  work=$build/fuzz-corpus/$target
  artifacts=$build/fuzz-artifacts/$target
  mkdir -p "$work" "$artifacts" "$seeds"
  log=$build/fuzz-$target.log
  echo "== $target =="
  status=ok
  if ! "$build/fuzz/fuzz_$target" "$work" "$seeds" "${limit[@]}" -print_final_stats=1 \
    -rss_limit_mb=2048 -timeout=25 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    status=CRASH
    failed=1
    tail -n 40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  corpus=$(find "$work" -type f | wc -l)
  # Slow inputs are kept there too (slow-unit-*), but are no crash.
  crashes=$(find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  summary+=$(printf '\n%-16s %12s %8s %8s %s' "$target" "${runs:-?}" "$corpus" "$crashes" "$status")
done
echo
echo "$summary"
exit "$failed"
