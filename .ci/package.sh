#!/usr/bin/env bash
# The install and package leg:
#  1. `cmake --install` into a staging directory; the installed bin/vesker (a link into
#     lib/vesker/) scans the simulator from another directory, and its files equal those of
#     the build tree's program;
#  2. the Debian package: lintian without errors, `dpkg -i`, `vesker --version`, a simulator
#     scan and `man -w vesker`, then `dpkg -r` leaves nothing of it behind;
#  3. the Windows zips (x86-64 and i686): layout and CR LF readme, then each vesker.exe under
#     its Wine with simulator\Lumorath.dll copied beside it.
# Needs no standard input. VESKER_JOBS sets the build parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${VESKER_JOBS:-2}

source "$(dirname "$0")/install.sh"
install_missing cmake g++ make dpkg-dev file
# The rest serve single parts, and each part says in one line when its tool is missing.
install_missing lintian man-db groff-base unzip g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 ||
  echo "== not every package of this leg could be installed; the parts that need one say so"
have() { command -v "$1" >/dev/null 2>&1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
# The varying texts of the files (the list's date, the report's scan time): the same mask as
# the Wine comparison, taken from it.
eval "$(sed -n '/^mask() {$/,/^}$/p' tests/wine/whole_run_compare.sh)"
declare -F mask >/dev/null || { echo "no mask() in tests/wine/whole_run_compare.sh"; exit 1; }

# compare_runs DIR_A DIR_B TITLE: the same files, equal apart from the varying texts.
compare_runs() {
  local a=$1 b=$2 title=$3 files file
  files=$(cd "$a" && ls)
  if [ -z "$files" ] || [ "$files" != "$(cd "$b" && ls)" ]; then
    fail "$title: files [$(echo $files)] and [$(cd "$b" && echo *)]"
    return
  fi
  for file in $files; do
    cmp -s <(mask "$a/$file") <(mask "$b/$file") || fail "$title: $file differs"
  done
  echo "ok   $title: $(echo $files) equal"
}

echo "== the manual page renders without warnings"
if have man && have groff; then
  warnings=$(MANWIDTH=80 man --warnings -l doc/vesker.1 2>&1 >/dev/null; groff -man -ww -z doc/vesker.1 2>&1)
  [ -z "$warnings" ] && echo "ok   doc/vesker.1" || fail "doc/vesker.1: $warnings"
else
  echo "== manual page not checked: man or groff is not installed"
fi

echo "== Linux build (no tests) in build-package"
cmake -S . -B build-package -DVESKER_TESTS=OFF </dev/null >/dev/null
cmake --build build-package -j"$jobs" </dev/null >/dev/null

echo "== cmake --install into a staging directory"
stage=$work/stage
cmake --install build-package --prefix "$stage" --strip </dev/null >/dev/null
for path in bin/vesker lib/vesker/vesker lib/vesker/libLumorath.so lib/vesker/liblumorath-sim.so \
            share/doc/vesker/README.md share/doc/vesker/LICENSE share/doc/vesker/examples/universal-ku.ini \
            share/man/man1/vesker.1; do
  [ -e "$stage/$path" ] || fail "not installed: $path"
done
[ "$(readlink "$stage/bin/vesker")" = ../lib/vesker/vesker ] || fail "bin/vesker is not the link ../lib/vesker/vesker"
# Through the link the program finds its own directory: the default configuration lies there.
mkdir -p "$work/elsewhere"
(cd "$work/elsewhere" && LUMORATH_LIBRARY=$stage/lib/vesker/liblumorath-sim.so "$stage/bin/vesker" \
   </dev/null >console.txt 2>&1) || true
if grep -qx "Config name: $stage/lib/vesker/Vesker.ini" "$work/elsewhere/console.txt"; then
  echo "ok   bin/vesker links to lib/vesker/vesker, which reads Vesker.ini from lib/vesker/"
else
  fail "installed program does not find its directory: $(sed -n 2p "$work/elsewhere/console.txt")"
fi

# The same scans by the build tree's program and by the installed one, from other directories.
runs=("universal-ku.ini|" "motorised-usals.ini|motorised-sky.xml")
for run in "${runs[@]}"; do
  config=${run%%|*} scenario=${run#*|}
  mkdir -p "$work/tree-$config" "$work/installed-$config"
  (cd "$work/tree-$config" && LUMORATH_LIBRARY= LUMORATH_PACE=0 \
     LUMORATH_SCENARIO=${scenario:+$root/examples/$scenario} \
     "$root/build-package/vesker" "$root/examples/$config" </dev/null >../tree-$config.txt 2>&1) ||
    fail "build tree's run of $config: exit $?"
  (cd "$work/installed-$config" && LUMORATH_LIBRARY=$stage/lib/vesker/liblumorath-sim.so LUMORATH_PACE=0 \
     LUMORATH_SCENARIO=${scenario:+$stage/share/doc/vesker/examples/$scenario} \
     "$stage/bin/vesker" "$stage/share/doc/vesker/examples/$config" </dev/null >../installed-$config.txt 2>&1) ||
    fail "installed run of $config: exit $?"
  compare_runs "$work/tree-$config" "$work/installed-$config" "installed vesker, $config"
done

echo "== Debian package"
(cd build-package && cpack -G DEB </dev/null >/dev/null)
deb=build-package/vesker_$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' build-package/CMakeCache.txt)_amd64.deb
[ -f "$deb" ] || { fail "no $deb"; deb=; }
if [ -n "$deb" ]; then
  dpkg-deb -f "$deb" Depends
  if have lintian; then
    lintian_status=0
    lintian --fail-on error "$deb" </dev/null >"$work/lintian.txt" 2>&1 || lintian_status=$?
    grep -v '^running with root privileges' "$work/lintian.txt" || true
    [ $lintian_status -eq 0 ] && echo "ok   lintian: no errors" || fail "lintian: errors (exit $lintian_status)"
  else
    echo "== lintian not run: it is not installed"
  fi
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    echo "== dpkg -i not run: neither root nor password-less sudo"
  elif dpkg -s vesker >/dev/null 2>&1; then
    echo "== dpkg -i not run: a vesker package is already installed on this machine"
  else
    # dpkg does not wait for its lock: someone else may be installing packages right now.
    dpkg_waiting() {
      local try output
      for try in $(seq 90); do
        output=$(as_root dpkg "$@" </dev/null 2>&1) && return 0
        case $output in *lock*) sleep 10 ;; *) break ;; esac
      done
      echo "$output"
      return 1
    }
    # The manual page and the documentation even where the image excludes them from packages.
    if dpkg_waiting -i --path-include='/usr/share/man/man1/vesker*' --path-include='/usr/share/doc/vesker*' "$deb"; then
      version=$(cd "$work" && vesker --version </dev/null) || fail "vesker --version: exit $?"
      echo "   $(command -v vesker): $version"
      mkdir -p "$work/deb-run"
      (cd "$work/deb-run" && LUMORATH_LIBRARY=/usr/lib/vesker/liblumorath-sim.so LUMORATH_PACE=0 \
         vesker /usr/share/doc/vesker/examples/universal-ku.ini </dev/null >../deb-run.txt 2>&1) ||
        fail "packaged scan: exit $?"
      compare_runs "$work/tree-universal-ku.ini" "$work/deb-run" "packaged vesker, universal-ku.ini"
      if have man; then man -w vesker || fail "man -w vesker finds no manual page"; else echo "== man -w not run: man is not installed"; fi
    else
      fail "dpkg -i $deb"
    fi
    dpkg_waiting -r vesker || fail "dpkg -r vesker"
    left=()
    # Every file and link of the package, and its own directories (not /usr, /usr/bin, ...).
    while read -r path; do
      path=${path#.}
      if [[ $path == */ ]]; then
        path=${path%/}
        case $path in /usr/lib/vesker | /usr/share/doc/vesker*) ;; *) continue ;; esac
      fi
      if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
    done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
    dpkg -s vesker >/dev/null 2>&1 && left+=("the package's status")
    [ ${#left[@]} -eq 0 ] && echo "ok   dpkg -r left nothing behind" || fail "left after dpkg -r: ${left[*]}"
  fi
fi

echo "== Windows zips"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
for arch in x86_64 i686; do
  unset WINEARCH
  build=build-zip-$arch
  if ! ls /usr/bin/$arch-w64-mingw32-g++* >/dev/null 2>&1 || ! have unzip; then
    echo "== $arch zip not built: the mingw-w64 compiler or unzip is not installed"
    continue
  fi
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" -DVESKER_TESTS=OFF </dev/null >/dev/null
  cmake --build "$build" -j"$jobs" </dev/null >/dev/null
  (cd "$build" && cpack </dev/null >/dev/null)
  zip=$(ls "$build"/vesker-*-windows-$arch.zip)
  unpacked=$work/zip-$arch
  mkdir -p "$unpacked"
  unzip -q "$zip" -d "$unpacked"
  for path in vesker.exe readme.txt LICENSE.txt simulator/Lumorath.dll examples/universal-ku.ini; do
    [ -f "$unpacked/$path" ] || fail "$(basename "$zip"): no $path"
  done
  [ ! -e "$unpacked/Lumorath.dll" ] || fail "$(basename "$zip"): Lumorath.dll at the top"
  [ "$(grep -c $'\r$' "$unpacked/readme.txt")" -eq "$(wc -l <"$unpacked/readme.txt")" ] ||
    fail "$(basename "$zip"): readme.txt has lines without CR LF"
  echo "ok   $(basename "$zip"): $(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')"

  if [ "$arch" = x86_64 ]; then
    wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || wine=$(command -v wine64 || true)
    export WINEPREFIX=${VESKER_WINEPREFIX64:-$root/build-win64/wine-prefix}
  else
    # The 32-bit loader of wine32:i386; /usr/bin/wine alone would hand the program to wine64.
    wine=/usr/lib/wine/wine
    export WINEPREFIX=${VESKER_WINEPREFIX32:-$root/$build/wine-prefix}
    export WINEARCH=win32
  fi
  if [ -z "$wine" ] || [ ! -x "$wine" ]; then
    echo "== $arch zip not run under Wine: $([ "$arch" = i686 ] && echo 'wine32:i386' || echo wine64) is not installed"
    continue
  fi
  # Some kernels refuse i386 programs ("Exec format error"): Wine's 32-bit loader then fails.
  if ! probe=$("$wine" --version </dev/null 2>&1); then
    echo "== $arch zip not run under Wine: $wine cannot run here ($(printf '%s' "$probe" | head -n 1))"
    continue
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
  fi
  # The readme's own steps: the simulator copied beside vesker.exe, an example scanned.
  cp "$unpacked/simulator/Lumorath.dll" "$unpacked/"
  if ! probe=$(cd "$unpacked" && "$wine" vesker.exe --version </dev/null 2>&1) ||
     [ "$(printf '%s' "$probe" | tr -d '\r')" != "Vesker ver.1.1.0.1338-commited" ]; then
    fail "$arch: vesker.exe --version under $wine: $probe"
    continue
  fi
  mkdir -p "$work/wine-$arch"
  (cd "$unpacked" && LUMORATH_PACE=0 "$wine" vesker.exe 'examples\universal-ku.ini' </dev/null >"$work/wine-$arch.txt" 2>&1) ||
    fail "$arch: vesker.exe examples\\universal-ku.ini: exit $?"
  mv "$unpacked"/S9.0E.* "$work/wine-$arch/" 2>/dev/null || true
  compare_runs "$work/tree-universal-ku.ini" "$work/wine-$arch" "$arch vesker.exe under $(basename "$wine"), universal-ku.ini"
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
done

[ $status -eq 0 ] && echo "== install and package leg passed" || echo "== install and package leg FAILED"
exit $status
