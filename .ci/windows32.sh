#!/usr/bin/env bash
# The 32-bit Windows leg: the i686 build's whole test suite under 32-bit Wine (wine32:i386) in a
# copy of the provisioned 32-bit prefix, whole runs of its vesker.exe compared with the Linux
# build, a whole run against the simulator built with functions that pop their own arguments
# (stdcall), and the i686 zip used as its readme says. Where this machine's kernel refuses i386
# programs ("Exec format error"), the Wine part runs inside a QEMU guest with Debian's kernel
# (.ci/guest/guest.sh). 32-bit Wine itself, on this system or in a Debian root of its own, is
# provisioned by .ci/env/wine.sh.
#
#   bash .ci/windows32.sh            build, then the Wine part here or in the guest
#   bash .ci/windows32.sh wine-part  the Wine part alone, on builds already made (the guest runs it)
source "$(dirname "$0")/leg.sh"
build=build-win32

# The tests, the whole runs, the stdcall run and the zip, with 32-bit Wine on this kernel.
wine_part() {
  local wine32=$WINE32 wineserver status=0 start count tests runs stdcall zip
  wineserver=$(wine32_server)
  [ -z "${WINE32_ROOT:-}" ] || wine32_bind_into_root "$repository"
  export WINEARCH=win32 WINE=$wine32
  export WINEPREFIX=${WINE32_PREFIX_COPY:-$repository/$build/wine-prefix}
  start=$SECONDS
  wine_unpack_prefix "$WINE32_PREFIX" "$WINEPREFIX" || leg_fail "no 32-bit Wine prefix"
  echo "== the 32-bit prefix unpacked to $WINEPREFIX in $((SECONDS - start)) s"
  # One server for every later start: each Wine start then takes seconds less. The first start
  # launches Wine's own services, which then live as long as the server: launch them here with
  # nothing to hold open, not in the first test, whose output pipe CTest would wait on for ever.
  "$wineserver" -p < /dev/null > /dev/null 2>&1 || true
  "$wine32" cmd /c exit < /dev/null > /dev/null 2>&1 || true

  echo "== Windows 32-bit: tests under Wine"
  count=$(ctest --test-dir "$build" -N | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
  echo "   $count test executables, each run by $wine32 (32-bit${WINE32_ROOT:+, in the Debian root $WINE32_ROOT})"
  start=$SECONDS
  # A test that hangs fails after five minutes instead of using up the guest's time.
  ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 < /dev/null | tee "$build/ctest.txt" || status=1
  echo "   tests took $((SECONDS - start)) s"
  tests=$(ctest_summary "$build/ctest.txt")

  echo "== Whole runs: the 32-bit vesker.exe under Wine against the Linux build"
  bash tests/wine/whole_run_compare.sh build/vesker build/libLumorath.so \
    "$build/vesker.exe" "$build/Lumorath.dll" "$repository" < /dev/null | tee "$build/whole-runs.txt" || status=1
  runs=$(tail -1 "$build/whole-runs.txt")

  echo "== Whole run against the stdcall simulator"
  stdcall=$(stdcall_whole_run) || status=1
  echo "$stdcall"
  stdcall=$(tail -1 <<<"$stdcall")

  echo "== The i686 zip as its readme says"
  zip=$(bash tests/wine/zip_run.sh "$(ls "$build"/vesker-*-windows-*.zip)" build/vesker "$repository" < /dev/null) || status=1
  echo "$zip"

  "$wineserver" -k 2>/dev/null || true
  [ $status -eq 0 ] || leg_fail "under 32-bit Wine: ${tests:-no tests}; $runs; $(tail -1 <<<"$stdcall"); $(tail -1 <<<"$zip")"
  leg_note "under 32-bit Wine${WINE32_ROOT:+ (Debian root)}${GUEST_RUN:+ in the QEMU guest}: $tests; $runs"
  leg_note "stdcall simulator: exit 0, $(sed -nE 's/.* ([0-9]+ transponders).*/\1/p' <<<"$stdcall"), device stopped; ${zip#ok   }"
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
  echo "ok   stdcall whole run: exit 0, $found transponders, $(tr -d '\r' < "$work/stderr.txt" | tail -1)"
  rm -rf "$work"
}

if [ "${1:-}" = wine-part ]; then
  if [ -n "${WINE32_ROOT:-}" ] && [ -z "${VESKER_OWN_MOUNTS:-}" ]; then
    VESKER_OWN_MOUNTS=1 exec unshare --mount --propagation private bash "$0" wine-part
  fi
  wine_part
  exit 0
fi

leg_begin windows32
provision_wine32 || leg_fail "no 32-bit Wine: wine32:i386 cannot be installed here, nor in a Debian root of its own"
echo "== Windows 32-bit: build with the test suite and the stdcall simulator"
windows_build i686 -DVESKER_WINE="$WINE32"
(cd "$build" && cpack < /dev/null > /dev/null)
linux_build vesker Lumorath

start=$SECONDS
if wine32_runs_here; then
  echo "== the 32-bit loader runs here: so does the Wine part"
  bash .ci/windows32.sh wine-part
  echo "== windows32: the Wine part took $((SECONDS - start)) s here"
  exit 0
fi
echo "== the 32-bit loader does not run here ($(wine32_refusal)): the Wine part runs in a QEMU guest"
guest_prepare > /dev/null || leg_fail "no QEMU guest here ($guest_unavailable_reason)"
status=0
run_in_guest --timeout 900 --mem 3072 \
  "GUEST_RUN=1 VESKER_CI_STATE=$VESKER_CI_STATE VESKER_CI_NOTES=${VESKER_CI_NOTES:-} VESKER_CI_REASON=${VESKER_CI_REASON:-} \
   WINE32_PREFIX_COPY=/tmp/wine-prefix-32 WINE32=$WINE32 WINE32_ROOT=${WINE32_ROOT:-} bash .ci/windows32.sh wine-part" ||
  status=$?
echo "== windows32: the Wine part took $((SECONDS - start)) s in the guest (status $status)"
case $status in
  0) ;;
  124) leg_fail "the guest was stopped after 15 minutes" ;;
  125) leg_fail "the guest could not be set up" ;;
  *) leg_fail "the Wine part failed in the guest (status $status)" ;;
esac
