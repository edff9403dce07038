#!/usr/bin/env bash
# Installs, as root, the Debian packages Tracewell builds and tests with (only what is missing).
set -euo pipefail

# clang and its runtime libraries build the fuzz targets (libFuzzer and the sanitizers). The
# MinGW-w64 cross compilers build the Windows builds (GoogleTest from googletest's sources), Wine
# runs their tests in both bitnesses (wine32 is an i386 package), NSIS makes the Windows installer.
# dpkg-dev unpacks Google Benchmark's source package for the Windows builds (below).
packages=(cmake make g++ file libgtest-dev libgmock-dev libbenchmark-dev libboost-dev libfmt-dev clang libclang-rt-14-dev
          googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 wine32:i386 nsis dpkg-dev)
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

# Google Benchmark for the Windows builds, which build it with the cross compiler: Debian's source
# package of the version libbenchmark-dev installs, fetched through apt's signed indexes with a
# source list and index directory of its own (the machine's apt configuration is left as it is),
# unpacked with its patches applied where bench/CMakeLists.txt looks for it.
benchmark_version=1.7.1-1
benchmark_dir=/usr/local/src/tracewell-deps/benchmark-${benchmark_version%-*}
if [ ! -f "$benchmark_dir/CMakeLists.txt" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Google Benchmark's sources are missing from $benchmark_dir; run this command as root to fetch them." >&2
    exit 1
  fi
  echo "Fetching Google Benchmark's source package (benchmark $benchmark_version)"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cat >"$work/benchmark.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  mkdir -p "$work/lists/partial"
  # The download runs as root, into the private directory.
  private=(-o Dir::Etc::SourceList="$work/benchmark.sources" -o Dir::Etc::SourceParts=/dev/null
           -o Dir::State::Lists="$work/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
           -o APT::Sandbox::User=root)
  apt-get "${private[@]}" update -qq
  (cd "$work" && apt-get "${private[@]}" source --download-only -qq "benchmark=$benchmark_version")
  mkdir -p "$(dirname "$benchmark_dir")"
  rm -rf "$benchmark_dir"
  # apt checked the files against the signed index; dpkg-source's own look at the .dsc's signature
  # finds no maintainer keyring and says so, which is shown only if the unpacking fails.
  if ! unpacked=$(dpkg-source -x "$work/benchmark_$benchmark_version.dsc" "$benchmark_dir" 2>&1); then
    echo "$unpacked" >&2
    exit 1
  fi
  rm -rf "$work"
  trap - EXIT
fi
