#!/usr/bin/env bash
# The main job: builds the data source, the virtual scanner and the session host, runs a whole
# traced TWAIN session through the data source and shows where the trace is and how it begins.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

dir=build/demo
cmake -S . -B "$dir" -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target tracewell_host >"$dir.log" 2>&1 || { tail -50 "$dir.log"; exit 1; }
# The host prints the summary, the trace file's path and the trace's first lines.
"$dir/host/tracewell_host" --head 40 "$@"
