#!/usr/bin/env bash
# Installs, as root, the Debian packages Tracewell builds and tests with (only what is missing).
set -euo pipefail

# clang and its runtime libraries build the fuzz targets (libFuzzer and the sanitizers).
packages=(cmake make g++ file libgtest-dev libgmock-dev libbenchmark-dev libboost-dev libfmt-dev clang libclang-rt-14-dev)
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
