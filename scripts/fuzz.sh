#!/usr/bin/env bash
# Builds every fuzz target (fuzz/fuzz_*.cpp) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in both TWAIN ABIs and runs each for SECONDS per ABI, the two ABIs
# side by side. The inputs start from the kept corpus and the regression inputs; new ones collect
# in build/fuzz-<abi>/corpus/<target>, findings in build/fuzz-<abi>/findings/<target>.
#   scripts/fuzz.sh SECONDS            fuzz
#   scripts/fuzz.sh SECONDS --merge    fuzz, then merge what was found into fuzz/corpus (minimized)
# Prints one line per run: "fuzz <target> <abi>: ok|FAILED, <executions> executions, <coverage>".
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [--merge]}
merge=${2:-}
scripts/setup.sh

targets=()
for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done

build() {
  local abi=$1 dir=build/fuzz-$1
  mkdir -p "$dir"
  cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DTRACEWELL_FUZZ=ON -DTRACEWELL_TWAIN_ABI="$abi" \
        -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=OFF >"$dir/configure.log" 2>&1 || { tail -20 "$dir/configure.log"; return 1; }
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}" >"$dir/build.log" 2>&1 || { tail -40 "$dir/build.log"; return 1; }
}

# run ABI TARGET: one fuzzing run; its log is build/fuzz-<abi>/<target>.log.
run() {
  local abi=$1 target=$2 dir=build/fuzz-$1
  local work=$dir/corpus/$target findings=$dir/findings/$target
  mkdir -p "$work" "$findings" "fuzz/corpus/$target"
  local inputs=("$work" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
  "$dir/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    -rss_limit_mb=4096 -timeout=30 "${inputs[@]}" >"$dir/$target.log" 2>&1
}

summary() {
  local abi=$1 target=$2 rc=$3 log=build/fuzz-$1/$2.log
  local runs cov
  runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  if [ "$rc" -eq 0 ]; then
    echo "fuzz $target $abi: ok, ${runs:-0} executions, ${cov:-no coverage reported}"
  else
    echo "fuzz $target $abi: FAILED, ${runs:-0} executions, ${cov:-no coverage reported} (see $log)"
    grep -E 'ERROR:|fuzz_[a-z_]+: |runtime error|Test unit written' "$log" | head -5 || true
  fi
}

for abi in linux macos; do build "$abi"; done

status=0
declare -A pids=() rcs=()
for target in "${targets[@]}"; do
  for abi in linux macos; do run "$abi" "$target" & pids[$abi]=$!; done
  for abi in linux macos; do
    if wait "${pids[$abi]}"; then rcs[$abi]=0; else rcs[$abi]=1; status=1; fi
  done
  for abi in linux macos; do summary "$abi" "$target" "${rcs[$abi]}"; done
done

if [ "$merge" = --merge ]; then
  for target in "${targets[@]}"; do
    kept=fuzz/corpus/$target
    merged=$(mktemp -d)
    build/fuzz-linux/fuzz/$target -merge=1 "$merged" "$kept" build/fuzz-linux/corpus/"$target" \
      build/fuzz-macos/corpus/"$target" >build/fuzz-linux/merge-"$target".log 2>&1
    rm -rf "$kept" && mv "$merged" "$kept"
    echo "fuzz $target: corpus merged into $kept ($(ls "$kept" | wc -l) inputs)"
  done
fi
exit $status
