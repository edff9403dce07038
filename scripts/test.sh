#!/usr/bin/env bash
# Builds and runs the whole test suite: both TWAIN ABIs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the default (linux) build as shipped, with a smoke run of the
# benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
passed=0
failed=0
status=0
for config in linux macos-sanitize linux-sanitize; do
  abi=${config%%-*}
  sanitize=OFF
  bench=OFF
  [ "$config" != "$abi" ] && sanitize=ON
  [ "$config" = linux ] && bench=ON
  dir=build/test-$config
  echo "== $config: configure and build"
  cmake -S . -B "$dir" -DTRACEWELL_TWAIN_ABI="$abi" -DTRACEWELL_SANITIZE=$sanitize -DTRACEWELL_BENCH=$bench \
        -DTRACEWELL_TEST_GLOB='*.cpp' >/dev/null
  cmake --build "$dir" -j"$jobs" >"$dir/build.log" 2>&1 || { tail -50 "$dir/build.log"; exit 1; }
  echo "== $config: tests"
  log=$dir/tests.log
  if (cd "$dir" && ctest --output-on-failure) >"$log" 2>&1; then :; else status=1; fi
  grep -E '^\[  FAILED  \]|tests passed|Failure' "$log" || true
  result=$(grep -hoE '^\[  PASSED  \] [0-9]+' "$dir"/Testing/Temporary/LastTest.log | grep -oE '[0-9]+' || echo 0)
  failures=$(grep -hcE '^\[  FAILED  \] [A-Za-z].*\(' "$dir"/Testing/Temporary/LastTest.log || true)
  passed=$((passed + ${result:-0}))
  failed=$((failed + ${failures:-0}))
  if [ "$bench" = ON ]; then
    echo "== $config: benchmark smoke run"
    "$dir/bench/tracewell_bench" --benchmark_min_time=0.01 >"$dir/bench.log" 2>&1 || { cat "$dir/bench.log"; status=1; }
  fi
done
echo "$passed passed, $failed failed"
exit $status
