#!/usr/bin/env bash
# The Windows build: orvloader.dll, field3dio.dll, the test plug-ins and every test program that
# needs neither OpenVDB nor HDF5, cross-built for Windows x86-64 with mingw-w64, and their tests run
# under Wine without a display. Usage: scripts/windows-tests.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath -m "${1:-build-windows}")
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

bash scripts/install-deps.sh windows
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build_dir" -j "$jobs"

# A Wine prefix of the build's own; no Mono or Gecko installer, no debug chatter except modules
# that fail to load (otherwise only a silent exit code 53 tells).
export WINEPREFIX="$build_dir/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all,err+module
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver
mkdir -p "$WINEPREFIX"
# Wine's server and its first boot start here, detached from every output: started by a test, they
# would outlive it holding CTest's output pipe, and CTest would wait for them for ever.
"$wineserver" -p </dev/null >/dev/null 2>&1
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1

timeout "${WINDOWS_TEST_TIMEOUT:-900}" \
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 300
