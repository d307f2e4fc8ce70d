#!/usr/bin/env bash
# The 32-bit Windows leg: the i686 build's whole test suite under 32-bit Wine (wine32:i386) in
# a 32-bit prefix of its own, whole runs of its vesker.exe compared with the Linux build, and a
# whole run against the simulator built with functions that pop their own arguments (stdcall).
# Where this machine's kernel refuses i386 programs ("Exec format error"), the Wine part runs
# inside a QEMU guest with Debian's kernel (.ci/guest/guest.sh). Needs no standard input.
#
# wine32:i386 goes onto this system when its i386 packages can be had at the versions of the
# amd64 ones already installed (multi-arch needs both alike). When they cannot, say because the
# mirror's i386 security index is behind its amd64 one, Wine goes into a Debian root of the
# leg's own instead, built from the signed release alone so that all its packages agree, and
# runs there under chroot.
#
#   bash .ci/windows32.sh            build, install, then the Wine part here or in the guest
#   bash .ci/windows32.sh wine-part  the Wine part alone, on builds already made (the guest runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-win32
reference=build-win-linuxref
source .ci/install.sh

# The Debian root of the leg's own, and the two commands that enter it (written by
# make_root_commands). Kept between runs, like an installed package.
wine32_root=${VESKER_WINE32_ROOT:-/var/lib/vesker-ci/wine32-root}
root_commands=$root/$build/wine32-root-bin

# The tests, the whole runs and the stdcall run, with 32-bit Wine on this kernel.
wine_part() {
  local wine32=${WINE32:-/usr/lib/wine/wine} wineserver=/usr/lib/wine/wineserver32 status=0 start count
  if [ -n "${WINE32_ROOT:-}" ]; then
    wineserver=$root_commands/wineserver32
    bind_into_root
  fi
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINE=$wine32
  export WINEPREFIX=${WINE32_PREFIX:-$root/$build/wine-prefix}
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the 32-bit Wine prefix $WINEPREFIX"
    start=$SECONDS
    "$wine32" wineboot -i < /dev/null > /dev/null 2>&1 || true
    "$wineserver" -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot did not create $WINEPREFIX" >&2; return 1; }
    echo "   wineboot -i took $((SECONDS - start)) s"
  fi
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
  ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 < /dev/null || status=1
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

# dpkg --add-architecture i386, apt-get update and wine32:i386 on this system.
install_wine32() {
  dpkg -s wine32:i386 > /dev/null 2>&1 && [ -e /usr/lib/wine/wine ] && return 0
  echo "== installing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
  apt_update
  # On a kernel that refuses i386 programs some i386 maintainer scripts fail; the files are in place.
  DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q wine32:i386 \
    < /dev/null > "$build/wine32-install.log" 2>&1 || true
  [ -e /usr/lib/wine/wine ] && return 0
  echo "   wine32:i386 cannot be installed on this system: $(grep -m1 '^E: ' "$build/wine32-install.log")"
  grep -m1 ':i386 : Depends: .* but ' "$build/wine32-install.log" | sed 's/^ */   for one: /' || true
  return 1
}

# The Debian root with wine32:i386: debootstrap checks the release's signature, apt inside
# checks every index against it. Built aside and renamed, so a broken build is never taken.
build_wine32_root() {
  [ -e "$wine32_root/.complete" ] && return 0
  [ "$(id -u)" -eq 0 ] || { echo "   a Debian root of the leg's own needs root"; return 1; }
  install_missing debootstrap > /dev/null || return 1
  local part=$wine32_root.part suite mirror=http://deb.debian.org/debian start=$SECONDS
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "== building a Debian root ($suite) with wine32:i386 in $wine32_root"
  rm -rf "$part" && mkdir -p "$(dirname "$part")"
  debootstrap --variant=minbase --arch=amd64 "$suite" "$part" "$mirror" > "$part.log" 2>&1 ||
    { echo "   debootstrap failed:"; tail -5 "$part.log"; return 1; }
  echo "deb $mirror $suite-updates main" >> "$part/etc/apt/sources.list"
  chroot "$part" dpkg --add-architecture i386
  apt_update chroot "$part" > /dev/null
  DEBIAN_FRONTEND=noninteractive chroot "$part" apt-get install -y -q --no-install-recommends \
    wine32:i386 < /dev/null > "$part.log" 2>&1 || true
  chroot "$part" apt-get clean
  [ -x "$part/usr/lib/wine/wine" ] || { echo "   wine32:i386 did not install:"; tail -5 "$part.log"; return 1; }
  touch "$part/.complete" && mv "$part" "$wine32_root" && rm -f "$part.log"
  echo "   built in $((SECONDS - start)) s"
}

# $root_commands/wine and wineserver32: each runs its program in the root, at the current
# directory (bind_into_root puts it there under the same path).
make_root_commands() {
  local program
  mkdir -p "$root_commands"
  for program in wine wineserver32; do
    printf '%s\n' '#!/bin/sh' \
      "exec chroot $wine32_root /bin/sh -c 'cd \"\$1\" && shift && exec \"\$@\"' sh \"\$PWD\" /usr/lib/wine/$program \"\$@\"" \
      > "$root_commands/$program"
    chmod 755 "$root_commands/$program"
  done
}

# What Wine needs to see from inside the root: the kernel's file systems, the repository, the
# temporary directories and the scan tables the whole runs read. Bound in a mount namespace of
# this process's own (made by the wine-part entry), so they vanish with it.
bind_into_root() {
  local dir
  for dir in /proc /sys /dev /tmp "${TMPDIR:-/tmp}" "$root" /usr/share/dvb; do
    [ -d "$dir" ] || continue
    mountpoint -q "$WINE32_ROOT$dir" && continue
    mkdir -p "$WINE32_ROOT$dir" && mount --rbind "$dir" "$WINE32_ROOT$dir"
  done
}

# 32-bit Wine's version, where this kernel runs i386 programs.
wine32_version() {
  if [ -n "${WINE32_ROOT:-}" ]; then
    chroot "$WINE32_ROOT" /usr/lib/wine/wine --version
  else
    /usr/lib/wine/wine --version
  fi
}

if [ "${1:-}" = wine-part ]; then
  if [ -n "${WINE32_ROOT:-}" ] && [ -z "${VESKER_OWN_MOUNTS:-}" ]; then
    VESKER_OWN_MOUNTS=1 exec unshare --mount --propagation private bash "$0" wine-part
  fi
  wine_part
  exit $?
fi

install_missing g++-mingw-w64-i686 cmake make
mkdir -p "$build"
if install_wine32; then
  export WINE32=/usr/lib/wine/wine
elif build_wine32_root; then
  make_root_commands
  export WINE32_ROOT=$wine32_root WINE32=$root_commands/wine
else
  echo "== windows32: the 32-bit tests were not run: wine32:i386 cannot be installed here, nor in a Debian root of the leg's own"
  exit 0
fi
echo "== Windows 32-bit: build with the test suite and the stdcall simulator"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DVESKER_TESTS=ON \
  -DVESKER_WINE="$WINE32" > /dev/null
cmake --build "$build" -j2
cmake -S . -B "$reference" -DVESKER_TESTS=OFF > /dev/null
cmake --build "$reference" -j2 --target vesker Lumorath

start=$SECONDS
if wine32_version > /dev/null 2>&1; then
  echo "== this kernel runs i386 programs: the Wine part runs here"
  status=0
  bash .ci/windows32.sh wine-part || status=$?
  echo "== windows32: the Wine part took $((SECONDS - start)) s here"
  exit $status
fi

# The loader started straight from here, for the kernel's own words.
refusal=$("${WINE32_ROOT:-}/usr/lib/wine/wine" --version 2>&1 | tail -1 | sed 's/^.*: //') || true
echo "== this kernel refuses i386 programs ($refusal): the Wine part runs in a QEMU guest"
source .ci/guest/guest.sh
if ! guest_available; then
  echo "== windows32: the 32-bit tests were not run: no QEMU guest here ($guest_unavailable_reason)"
  exit 0
fi
status=0
run_in_guest --timeout 900 --mem 3072 \
  "WINE32_PREFIX=/tmp/wine-prefix-32 WINE32=$WINE32 WINE32_ROOT=${WINE32_ROOT:-} bash .ci/windows32.sh wine-part" ||
  status=$?
echo "== windows32: the Wine part took $((SECONDS - start)) s in the guest (status $status)"
case $status in
  124) echo "== windows32: the 32-bit tests were not run through: the guest leg took over 15 minutes"; exit 0 ;;
  125) echo "== windows32: the 32-bit tests were not run: the guest could not be set up"; exit 0 ;;
esac
exit $status
