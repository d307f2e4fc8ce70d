#!/usr/bin/env bash
# The 32-bit Windows leg: the i686 build's whole test suite under 32-bit Wine (wine32:i386) in
# a 32-bit prefix of its own, whole runs of its vesker.exe compared with the Linux build, and a
# whole run against the simulator built with functions that pop their own arguments (stdcall).
# Where this machine's kernel refuses i386 programs ("Exec format error"), the Wine part runs
# inside a QEMU guest with Debian's kernel (.ci/guest/guest.sh). Needs no standard input.
#
#   bash .ci/windows32.sh            build, install, then the Wine part here or in the guest
#   bash .ci/windows32.sh wine-part  the Wine part alone, on builds already made (the guest runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-win32
reference=build-win-linuxref
wine32=/usr/lib/wine/wine   # the 32-bit loader of wine32:i386

# The tests, the whole runs and the stdcall run, with 32-bit Wine on this kernel.
wine_part() {
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINE=$wine32
  export WINEPREFIX=${WINE32_PREFIX:-$root/$build/wine-prefix}
  local wineserver=/usr/lib/wine/wineserver32 status=0 start count
  [ -x "$wineserver" ] || wineserver=wineserver
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the 32-bit Wine prefix $WINEPREFIX"
    start=$SECONDS
    "$wine32" wineboot -i < /dev/null > /dev/null 2>&1 || true
    "$wineserver" -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot did not create $WINEPREFIX" >&2; return 1; }
    echo "   wineboot -i took $((SECONDS - start)) s"
  fi
  # One server for every later start: each Wine start then takes seconds less.
  "$wineserver" -p < /dev/null > /dev/null 2>&1 || true

  echo "== Windows 32-bit: tests under Wine"
  count=$(ctest --test-dir "$build" -N | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
  echo "   $count test executables, each run by $wine32 (32-bit)"
  start=$SECONDS
  ctest --test-dir "$build" --output-on-failure -j2 < /dev/null || status=1
  echo "   tests took $((SECONDS - start)) s"

  echo "== Whole runs: the 32-bit vesker.exe under Wine against the Linux build"
  bash tests/wine/whole_run_compare.sh "$reference/vesker" "$reference/libLumorath.so" \
    "$build/vesker.exe" "$build/Lumorath.dll" "$root" < /dev/null || status=1

  echo "== Whole run against the stdcall simulator"
  stdcall_whole_run || status=1

  "$wineserver" -k 2>/dev/null || true
  return $status
}

# vesker.exe beside the stdcall Lumorath.dll, scanning the built-in satellite: it must find
# transponders, write the report and the list, stop the device and exit 0.
stdcall_whole_run() {
  local work code=0 found files problems=()
  work=$(mktemp -d "${TMPDIR:-/tmp}/vesker-stdcall.XXXXXX")
  cp "$build/vesker.exe" "$build/stdcall/Lumorath.dll" examples/Lumorath.ini "$work/"
  mkdir "$work/run"
  grep -viE '^[[:space:]]*(ReportDir|TPDir)[[:space:]]*=' examples/universal-ku.ini > "$work/run/scan.ini"
  (cd "$work/run" && LUMORATH_STATS=1 LUMORATH_PACE=0 "$WINE" ../vesker.exe scan.ini \
     < /dev/null > ../console.txt 2> ../stderr.txt) || code=$?
  found=$(tr -d '\r' < "$work/console.txt" | sed -nE 's/^Total tranponders found = ([0-9]+)$/\1/p' | tail -1)
  files=$(cd "$work/run" && ls | grep -vx scan.ini | tr '\n' ' ')
  [ "$code" -eq 0 ] || problems+=("exit code $code")
  [ "${found:-0}" -gt 0 ] || problems+=("no transponders found")
  ls "$work/run"/*.txt > /dev/null 2>&1 && ls "$work/run"/*.ini > /dev/null 2>&1 ||
    problems+=("report or list missing")
  grep -q '^Lumorath simulator: [0-9]* searches' "$work/stderr.txt" || problems+=("the device was not stopped")
  echo "   stdcall whole run: exit code $code, ${found:-no} transponders found, files: ${files:-none}"
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAIL stdcall whole run: ${problems[*]}"
    tail -5 "$work/console.txt" "$work/stderr.txt"
    rm -rf "$work"
    return 1
  fi
  echo "ok   stdcall whole run: $(tr -d '\r' < "$work/stderr.txt" | tail -1)"
  rm -rf "$work"
}

# dpkg --add-architecture i386, apt-get update (the mirror is sometimes mid-sync: a few
# tries, then on regardless) and wine32:i386.
install_wine32() {
  dpkg -s wine32:i386 > /dev/null 2>&1 && [ -e "$wine32" ] && return 0
  local sudo="" attempt
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "== installing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  for attempt in 1 2 3; do
    $sudo apt-get update -q < /dev/null && break
    echo "   apt-get update failed (try $attempt of 3)"
    [ "$attempt" -lt 3 ] && sleep 20
  done
  # On a kernel that refuses i386 programs some i386 maintainer scripts fail; the files are in place.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q wine32:i386 < /dev/null ||
    true
  [ -e "$wine32" ]
}

if [ "${1:-}" = wine-part ]; then
  wine_part
  exit $?
fi

source .ci/install.sh
install_missing g++-mingw-w64-i686 cmake make

if ! install_wine32; then
  echo "== windows32: the 32-bit tests were not run: wine32:i386 cannot be installed here"
  exit 0
fi
echo "== Windows 32-bit: build with the test suite and the stdcall simulator"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DVESKER_TESTS=ON > /dev/null
cmake --build "$build" -j2
cmake -S . -B "$reference" -DVESKER_TESTS=OFF > /dev/null
cmake --build "$reference" -j2 --target vesker Lumorath

start=$SECONDS
if "$wine32" --version > /dev/null 2>&1; then
  echo "== this kernel runs i386 programs: the Wine part runs here"
  status=0
  wine_part || status=$?
  echo "== windows32: the Wine part took $((SECONDS - start)) s here"
  exit $status
fi

echo "== this kernel refuses i386 programs ($("$wine32" --version 2>&1 | tail -1 | sed 's/^.*: //')): the Wine part runs in a QEMU guest"
source .ci/guest/guest.sh
if ! guest_available; then
  echo "== windows32: the 32-bit tests were not run: no QEMU guest here ($guest_unavailable_reason)"
  exit 0
fi
status=0
run_in_guest --timeout 900 --mem 3072 'WINE32_PREFIX=/tmp/wine-prefix-32 bash .ci/windows32.sh wine-part' || status=$?
echo "== windows32: the Wine part took $((SECONDS - start)) s in the guest (status $status)"
case $status in
  124) echo "== windows32: the 32-bit tests were not run through: the guest leg took over 15 minutes"; exit 0 ;;
  125) echo "== windows32: the 32-bit tests were not run: the guest could not be set up"; exit 0 ;;
esac
exit $status
