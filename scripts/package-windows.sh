#!/usr/bin/env bash
# Builds Tracewell for 64-bit and 32-bit Windows with the MinGW cross compilers and packs both into
# the Windows installer, tracewell-<version>-windows-setup.exe. Its path is the last line printed.
# Usage: scripts/package-windows.sh [BUILD_DIR]   (default build/windows)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build/windows}" && cd "${1:-$root/build/windows}" && pwd)

# The cross compilers, NSIS and the rest of the build tools.
"$root/scripts/setup.sh" >&2

# tracewell.ds finds its adapter at the path compiled in: the installer's default folder.
install_root='C:/Program Files/Tracewell'
# Only what the installer holds is built (cpack then installs without building the rest).
build_one() {
  local abi=$1 toolchain=$2 arch=$3 targets=$4
  shift 4
  cmake -S "$root" -B "$build/$abi" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-$toolchain.cmake" -DTRACEWELL_TWAIN_ABI="$abi" \
    -DTRACEWELL_TESTS=OFF -DTRACEWELL_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DTRACEWELL_WRAPPED_SOURCE="$install_root/$arch/tracewell-adapter.dll" "$@" >&2
  # shellcheck disable=SC2086
  cmake --build "$build/$abi" -j"$(nproc)" --target $targets >&2
}
build_one win32 i686 x86 "tracewell_ds tracewell_adapter tracewell_command"
build_one win64 x86_64 x64 "tracewell_ds tracewell_adapter" -DTRACEWELL_WIN32_BUILD_DIR="$build/win32"

(cd "$build/win64" && cpack -G NSIS -C Release) >&2
version=$(sed -n 's/^project(Tracewell VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
installer="$build/win64/tracewell-$version-windows-setup.exe"
test -f "$installer" || { echo "cpack made no $installer" >&2; exit 1; }
# What the installer holds, as cpack laid it out before packing.
staged="$build/win64/_CPack_Packages/win64/NSIS/tracewell-$version-windows-setup"
for file in bin/tracewell.exe x64/tracewell.ds x86/tracewell.ds README.md; do
  test -f "$staged/$file" || { echo "the installer lacks $file" >&2; exit 1; }
done
echo "$installer"
