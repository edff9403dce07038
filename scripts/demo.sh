#!/usr/bin/env bash
# The main job: builds the data source, the virtual scanner and the session host, runs a whole
# traced TWAIN session through the data source and shows where the trace is and how it begins.
# With --windows first, the same session runs in the win64 build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

windows=0
if [[ "${1:-}" == "--windows" ]]; then
  windows=1
  shift
fi

if ((windows)); then
  dir=build/demo-win64
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake -DTRACEWELL_TESTS=OFF \
        -DTRACEWELL_BENCH=OFF >/dev/null
else
  dir=build/demo
  cmake -S . -B "$dir" -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target tracewell_host >"$dir.log" 2>&1 || { tail -50 "$dir.log"; exit 1; }
# The host prints the summary, the trace file's path and the trace's first lines.
if ((windows)); then
  # A Wine prefix of the build's own; the first run makes it.
  export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all
  wine "$dir/host/tracewell_host.exe" --head 40 "$@"
else
  "$dir/host/tracewell_host" --head 40 "$@"
fi
