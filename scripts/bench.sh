#!/usr/bin/env bash
# Builds the benchmark program for linux (RelWithDebInfo) and for win64, runs both one after the
# other with the same options (the win64 one under Wine) and prints the pairs that are read side
# by side, from each program's own side-by-side lines, in one table. Options are Google
# Benchmark's and go to both runs (default: --benchmark_repetitions=5).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

options=("$@")
[ ${#options[@]} -eq 0 ] && options=(--benchmark_repetitions=5)

linux=build/bench-linux
win64=build/bench-win64
cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=ON >/dev/null
cmake -S . -B "$win64" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake -DTRACEWELL_TWAIN_ABI=win64 \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=ON >/dev/null
for dir in "$linux" "$win64"; do
  cmake --build "$dir" -j"$(nproc)" --target tracewell_bench >"$dir.log" 2>&1 || { tail -50 "$dir.log"; exit 1; }
done

# The program's own reporter colours its table whatever the options say; the copies kept for the
# table below are plain text (no colours, no carriage returns).
plain() { sed -e 's/\x1b\[[0-9;]*m//g' -e 's/\r$//'; }
echo "== linux"
"$linux/bench/tracewell_bench" "${options[@]}" | plain | tee "$linux/bench.out"
echo "== win64 (under Wine)"
# A Wine prefix of the build's own; the first run makes it.
export WINEPREFIX="$PWD/$win64/wineprefix" WINEDEBUG=-all
wine "$win64/bench/tracewell_bench.exe" "${options[@]}" </dev/null | plain | tee "$win64/bench.out"

# side_by_side FILE MEASURED AGAINST: the real and the CPU figure of the program's line for the pair
# ("1.52x 1.47x" or "+0.80ns +1.10ns"), or "- -" where the run has no such line.
side_by_side() {
  awk -v measured="$2" -v against="$3" '
    /^Side by side/ { inside = 1; next }
    inside && $1 == measured && $3 == against {
      if ($5 == "ns") { print $4 "ns", $6 "ns" } else { print $4, $5 }
      found = 1; exit
    }
    END { if (!found) print "-", "-" }' "$1"
}

pairs=(
  "traced one-value MSG_GET / its two writes, null device|BM_TracedOneValue_DevNull|BM_TwoWrites_DevNull"
  "traced one-value MSG_GET / its two writes, real file|BM_TracedOneValue_File|BM_TwoWrites_File"
  "traced 10-item enumeration / traced one-value MSG_GET|BM_TracedEnumeration_DevNull/10|BM_TracedOneValue_DevNull"
  "tracing off through DS_Entry - the source called directly|BM_DsEntryTracingOff|BM_SourceDirect"
)
echo
echo "Side by side, fastest repetition of each (win64 under Wine: indicative only)"
printf '  %-58s %12s %12s %12s %12s\n' "" "linux real" "linux cpu" "win64 real" "win64 cpu"
for pair in "${pairs[@]}"; do
  IFS='|' read -r title measured against <<<"$pair"
  read -r linux_real linux_cpu < <(side_by_side "$linux/bench.out" "$measured" "$against")
  read -r win64_real win64_cpu < <(side_by_side "$win64/bench.out" "$measured" "$against")
  printf '  %-58s %12s %12s %12s %12s\n' "$title" "$linux_real" "$linux_cpu" "$win64_real" "$win64_cpu"
done
