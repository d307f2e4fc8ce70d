#!/usr/bin/env bash
# The Windows leg: the x86-64 and 32-bit builds with mingw-w64, the x86-64 test suite under
# Wine, and whole runs of vesker.exe compared with the Linux build. Needs no standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

source "$(dirname "$0")/install.sh"
install_missing g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 cmake make

echo "== Windows 32-bit: compile and link (the record layout is checked at compile time)"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DVESKER_TESTS=OFF > /dev/null
cmake --build build-win32 -j"$jobs"
ls -l build-win32/vesker.exe build-win32/Lumorath.dll

echo "== Windows x86-64: build"
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" > /dev/null
cmake --build build-win64 -j"$jobs"

# A Wine prefix of our own inside the build tree, quiet, and never offering to download the
# Mono or Gecko add-ons.
export WINEPREFIX=$root/build-win64/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=$(grep -E '^VESKER_WINE:FILEPATH=' build-win64/CMakeCache.txt | cut -d= -f2-)
if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
  echo "no wine64 found" >&2
  exit 1
fi
export WINE
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  start=$SECONDS
  "$WINE" wineboot -i < /dev/null > /dev/null 2>&1
  "$(dirname "$WINE")/wineserver" -w 2>/dev/null || wineserver -w || true
  echo "   wineboot -i took $((SECONDS - start)) s"
fi

echo "== Windows x86-64: tests under Wine"
count=$(ctest --test-dir build-win64 -N | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
echo "   $count test executables, each run by $WINE"
status=0
ctest --test-dir build-win64 --output-on-failure -j"$jobs" < /dev/null || status=1

echo "== Whole runs: vesker.exe under Wine against the Linux build"
cmake -S . -B build-win-linuxref -DVESKER_TESTS=OFF > /dev/null
cmake --build build-win-linuxref -j"$jobs" --target vesker Lumorath
bash tests/wine/whole_run_compare.sh build-win-linuxref/vesker build-win-linuxref/libLumorath.so \
  build-win64/vesker.exe build-win64/Lumorath.dll "$root" < /dev/null || status=1

"$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
exit $status
