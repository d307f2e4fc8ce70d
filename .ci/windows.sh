#!/usr/bin/env bash
# The Windows leg: the x86-64 build with mingw-w64, its test suite under Wine (wine64), and whole
# runs of vesker.exe compared with the Linux build (build/). The 32-bit build is the windows32
# leg's. Wine runs in a fresh copy of the provisioned 64-bit prefix.
source "$(dirname "$0")/leg.sh"
leg_begin windows

echo "== Windows x86-64: build"
windows_build x86_64
linux_build vesker Lumorath

WINE=$(sed -nE 's/^VESKER_WINE:FILEPATH=(.+)$/\1/p' build-win64/CMakeCache.txt)
[ -n "$WINE" ] && [ -x "$WINE" ] || leg_fail "no wine64 for the tests (VESKER_WINE in build-win64)"
export WINE
provision_wine64_prefix > /dev/null || true
export WINEPREFIX=$repository/build-win64/wine-prefix
wine_unpack_prefix "$WINE64_PREFIX" "$WINEPREFIX" || leg_fail "no 64-bit Wine prefix"

echo "== Windows x86-64: tests under Wine"
count=$(ctest --test-dir build-win64 -N | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
echo "   $count test executables, each run by $WINE"
status=0
ctest --test-dir build-win64 --output-on-failure -j"$jobs" < /dev/null | tee build-win64/ctest.txt || status=1
tests=$(ctest_summary build-win64/ctest.txt)

echo "== Whole runs: vesker.exe under Wine against the Linux build"
bash tests/wine/whole_run_compare.sh build/vesker build/libLumorath.so \
  build-win64/vesker.exe build-win64/Lumorath.dll "$repository" < /dev/null | tee build-win64/whole-runs.txt || status=1
runs=$(tail -1 build-win64/whole-runs.txt)

"$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
[ $status -eq 0 ] || leg_fail "tests under wine64: ${tests:-none}; $runs"
leg_note "tests under $WINE: $tests; $runs"
