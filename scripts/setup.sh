#!/usr/bin/env bash
# Installs, as root, the Debian packages Tracewell builds and tests with (only what is missing).
set -euo pipefail

# clang and its runtime libraries build the fuzz targets (libFuzzer and the sanitizers). The
# MinGW-w64 cross compilers build the Windows builds (GoogleTest from googletest's sources), Wine
# runs their tests in both bitnesses (wine32 is an i386 package), NSIS makes the Windows installer.
packages=(cmake make g++ file libgtest-dev libgmock-dev libbenchmark-dev libboost-dev libfmt-dev clang libclang-rt-14-dev
          googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 wine32:i386 nsis)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "The i386 architecture (for wine32) is not enabled; run this command as root to enable it." >&2
    exit 1
  fi
  dpkg --add-architecture i386
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}; run this command as root to install them." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
