#!/usr/bin/env bash
# Builds and runs the whole test suite: both TWAIN ABIs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the default (linux) build as shipped; the win64 and win32 builds,
# cross-compiled and their suite run under Wine; a smoke run of the benchmark program in the linux
# and the win64 build; the Windows installer of both in a fresh Wine prefix; then every fuzz target
# for a short fixed time in both ABIs. The totals come from ctest's own JUnit report (one entry per
# test case, plus the corpus replays), one entry per benchmark smoke run, one for the installer and
# one per fuzzing run. Ends with the line "N passed, N failed, N skipped".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

fuzz_seconds=20
jobs=$(nproc)
passed=0
failed=0
skipped=0
start=$(date +%s)
mkdir -p build
echo "== free space below build/: $(df -Ph build | awk 'NR == 2 { print $4 }') (the run needs about 5 GB)"

# drop_wine_prefix DIR: stops the prefix's wineserver and removes the prefix. A prefix takes about
# 1.3 GB, most of it copies of Wine's own DLLs; keeping only the one in use keeps the whole run
# within a few gigabytes of disk.
drop_wine_prefix() {
  [ -d "$1" ] || return 0
  WINEPREFIX="$1" wineserver -k 2>/dev/null || true
  WINEPREFIX="$1" wineserver -w 2>/dev/null || true
  rm -rf "$1"
}

# count_junit FILE CTEST_STATUS: adds the file's test cases to passed (ran and passed), failed
# (failed, timed out or crashed) and skipped (skipped by the test itself, as the install test is in
# sanitizer builds). A test ctest could not run at all (no executable) is skipped in the report but
# makes ctest fail: that counts as one failure.
count_junit() {
  local ran bad notrun
  ran=$(grep -cE '<testcase [^>]*status="run"' "$1" || true)
  bad=$(grep -cE '<testcase [^>]*status="fail"' "$1" || true)
  notrun=$(grep -cE '<testcase [^>]*status="(notrun|disabled)"' "$1" || true)
  [ "$2" -ne 0 ] && [ "$bad" -eq 0 ] && bad=1
  passed=$((passed + ran))
  failed=$((failed + bad))
  skipped=$((skipped + notrun))
}

for config in linux macos-sanitize linux-sanitize win64 win32; do
  abi=${config%%-*}
  sanitize=OFF
  bench=OFF
  [ "$config" != "$abi" ] && sanitize=ON
  case $config in linux | win64) bench=ON ;; esac
  dir=build/test-$config
  echo "== $config: configure and build"
  # The sanitizer builds are unoptimised, so that no access the sanitizers check is optimised away.
  build_type=RelWithDebInfo
  [ "$sanitize" = ON ] && build_type=Debug
  # The Windows builds are cross-compiled; ctest runs their programs under Wine, in a Wine prefix
  # of the build's own, kept up by one wineserver for the whole run.
  # The win64 build packs the installer with the win32 build's part, installing only what is built.
  cross=()
  case $abi in
    win64) cross=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
                  -DTRACEWELL_WIN32_BUILD_DIR="$PWD/build/test-win32") ;;
    win32) cross=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON) ;;
  esac
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=$build_type -DTRACEWELL_TWAIN_ABI="$abi" -DTRACEWELL_SANITIZE=$sanitize \
        -DTRACEWELL_BENCH=$bench -DTRACEWELL_TEST_GLOB='*.cpp' "${cross[@]}" >/dev/null
  # A Windows build makes only what its tests run: the suite, the modules it loads, the shipped
  # data source and adapter, and the benchmark program with Google Benchmark (win64).
  targets=()
  [ ${#cross[@]} -gt 0 ] && targets=(--target tracewell_tests tracewell_ds tracewell_adapter)
  [ "$abi" = win32 ] && targets+=(tracewell_command)  # the installer's command
  [ ${#cross[@]} -gt 0 ] && [ "$bench" = ON ] && targets+=(tracewell_bench)
  if ! cmake --build "$dir" -j"$jobs" "${targets[@]}" >"$dir/build.log" 2>&1; then
    tail -50 "$dir/build.log"
    echo "== $config: build FAILED"
    failed=$((failed + 1))
    continue
  fi
  echo "== $config: tests"
  rm -f "$dir/junit.xml"
  if [ ${#cross[@]} -gt 0 ]; then
    # The first run makes the prefix and starts Wine's services, which must not hold ctest's
    # output pipes open; then the wineserver stays up for every test program.
    export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all
    wine "$dir/tests/tracewell_tests.exe" --gtest_list_tests </dev/null >/dev/null 2>&1 || true
    wineserver -p || true
  fi
  ctest_status=0
  # Wine now and then fails to start a program at all under load ("Application could not be
  # started"); there a case that fails is run once more, and a real fault fails both runs.
  repeat=()
  [ ${#cross[@]} -gt 0 ] && repeat=(--repeat until-pass:2)
  (cd "$dir" && ctest -j"$jobs" "${repeat[@]}" --output-on-failure --output-junit junit.xml) >"$dir/tests.log" 2>&1 || ctest_status=$?
  if [ -f "$dir/junit.xml" ]; then
    count_junit "$dir/junit.xml" "$ctest_status"
  else
    echo "ctest wrote no report"
    failed=$((failed + 1))
  fi
  # ctest's own summary, and which cases failed.
  grep -E 'tests passed|tests failed out of|^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess|Exception|Not Run)' "$dir/tests.log" || true
  if [ "$bench" = ON ]; then
    echo "== $config: benchmark smoke run"
    run=("$dir/bench/tracewell_bench")
    [ ${#cross[@]} -gt 0 ] && run=(wine "$dir/bench/tracewell_bench.exe")
    if "${run[@]}" --benchmark_min_time=0.01 </dev/null >"$dir/bench.log" 2>&1; then
      passed=$((passed + 1))
    else
      tail -20 "$dir/bench.log"
      failed=$((failed + 1))
    fi
  fi
  if [ ${#cross[@]} -gt 0 ]; then
    unset WINEPREFIX WINEDEBUG
  fi
  # The prefix of the Windows suite, or the one the linux command's tests ran Windows checks in.
  drop_wine_prefix "$PWD/$dir/wineprefix"
  drop_wine_prefix "$PWD/$dir/wine-prefix"
done

# The installer of both Windows builds, in a fresh Wine prefix: installed silently, a source of each
# bitness attached and traced, the uninstall refused while they are attached, then allowed.
echo "== windows installer"
installer_log=build/test-installer.log
if [ -f build/test-win64/tracewell.ds ] && [ -f build/test-win32/tools/tracewell/tracewell.exe ] &&
   (cd build/test-win64 && cpack -G NSIS -D CPACK_STRIP_FILES=ON) >"$installer_log" 2>&1 &&
   tests/windows/installer_test.sh build/test-win64/tracewell-*-windows-setup.exe build/test-installer \
     build/test-win64/host/tracewell_host.exe build/test-win64/tests/standard/corvale.ds \
     build/test-win32/host/tracewell_host.exe build/test-win32/tests/standard/corvale.ds >>"$installer_log" 2>&1; then
  passed=$((passed + 1))
else
  tail -20 "$installer_log"
  failed=$((failed + 1))
fi
grep -E '^(installer: ok|FAILED)' "$installer_log" || true
drop_wine_prefix "$PWD/build/test-installer/prefix"

echo "== fuzzing: ${fuzz_seconds} s per target and ABI"
fuzz_log=build/fuzz.log
scripts/fuzz.sh "$fuzz_seconds" >"$fuzz_log" 2>&1 || true
grep -E '^fuzz ' "$fuzz_log" || tail -20 "$fuzz_log"
ok=$(grep -cE '^fuzz [^ ]+ [a-z]+: ok' "$fuzz_log" || true)
bad=$(grep -cE '^fuzz [^ ]+ [a-z]+: FAILED' "$fuzz_log" || true)
[ "${ok:-0}" -eq 0 ] && [ "${bad:-0}" -eq 0 ] && bad=1  # the fuzz build itself failed
passed=$((passed + ${ok:-0}))
failed=$((failed + ${bad:-0}))

echo "== took $(($(date +%s) - start)) s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
