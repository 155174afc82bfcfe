#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# apt-get update runs once, and only when something has to be installed. With the argument
# "windows": the packages of the Windows cross-build and its tests under Wine instead.
set -euo pipefail

packages=(
  cmake ninja-build g++ zlib1g-dev
  libopenvdb-dev libopenvdb-tools libboost-dev libboost-iostreams-dev libtbb-dev libblosc-dev
  libimath-dev libgtest-dev libbenchmark-dev libzstd-dev clang libhdf5-dev
  pybind11-dev python3-dev python3-numpy python3-pytest
)
if [[ "${1:-}" == "windows" ]]; then
  packages=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64)
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps: dpkg-query not found; this script needs Debian 12 (apt)" >&2
  exit 1
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "install-deps: missing packages (${missing[*]}) and not running as root" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update </dev/null
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
