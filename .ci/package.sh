#!/usr/bin/env bash
# The install and package leg:
#  1. `cmake --install` of the Linux build (build/) into a staging directory; the installed
#     bin/vesker (a link into lib/vesker/) scans the simulator from another directory, and its
#     files equal those of the build tree's program;
#  2. the Debian package: lintian without errors, `dpkg -i`, `vesker --version`, a simulator
#     scan and `man -w vesker`, then `dpkg -r` leaves nothing of it behind;
#  3. the Windows zips (x86-64 and i686, from build-win64 and build-win32): layout and CR LF
#     readme; the x86-64 vesker.exe under wine64 as the readme says (tests/wine/zip_run.sh). The
#     i686 one runs under 32-bit Wine in the windows32 leg, which has that Wine at hand.
# Needs no standard input. VESKER_JOBS sets the build parallelism (default 2).
source "$(dirname "$0")/leg.sh"
leg_begin package
root=$repository

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
failures=()
fail() { echo "FAIL: $*"; status=1; failures+=("$*"); }
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
warnings=$(MANWIDTH=80 man --warnings -l doc/vesker.1 2>&1 >/dev/null; groff -man -ww -z doc/vesker.1 2>&1)
[ -z "$warnings" ] && echo "ok   doc/vesker.1" || fail "doc/vesker.1: $warnings"

echo "== Linux build (build/)"
linux_build all

echo "== cmake --install into a staging directory"
stage=$work/stage
cmake --install build --prefix "$stage" --strip </dev/null >/dev/null
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
     "$root/build/vesker" "$root/examples/$config" </dev/null >../tree-$config.txt 2>&1) ||
    fail "build tree's run of $config: exit $?"
  (cd "$work/installed-$config" && LUMORATH_LIBRARY=$stage/lib/vesker/liblumorath-sim.so LUMORATH_PACE=0 \
     LUMORATH_SCENARIO=${scenario:+$stage/share/doc/vesker/examples/$scenario} \
     "$stage/bin/vesker" "$stage/share/doc/vesker/examples/$config" </dev/null >../installed-$config.txt 2>&1) ||
    fail "installed run of $config: exit $?"
  compare_runs "$work/tree-$config" "$work/installed-$config" "installed vesker, $config"
done

echo "== Debian package"
(cd build && cpack -G DEB </dev/null >/dev/null)
deb=build/vesker_$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' build/CMakeCache.txt)_amd64.deb
[ -f "$deb" ] || { fail "no $deb"; deb=; }
if [ -n "$deb" ]; then
  dpkg-deb -f "$deb" Depends
  lintian_status=0
  lintian --fail-on error "$deb" </dev/null >"$work/lintian.txt" 2>&1 || lintian_status=$?
  grep -v '^running with root privileges' "$work/lintian.txt" || true
  [ $lintian_status -eq 0 ] && echo "ok   lintian: no errors" || fail "lintian: errors (exit $lintian_status)"
  if ! can_install; then
    fail "dpkg -i not run: neither root nor password-less sudo"
  elif dpkg -s vesker >/dev/null 2>&1; then
    # Not replaced: it may be someone's own. A run that stopped half-way leaves none (see the trap).
    fail "dpkg -i not run: a vesker package is already installed on this machine (dpkg -r vesker)"
  else
    trap 'rm -rf "$work"; dpkg -s vesker >/dev/null 2>&1 && as_root dpkg -r vesker >/dev/null 2>&1' EXIT
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
      man -w vesker || fail "man -w vesker finds no manual page"
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
for arch in x86_64 i686; do
  windows_build "$arch" > /dev/null
  build=build-win64; [ "$arch" = i686 ] && build=build-win32
  rm -f "$build"/vesker-*-windows-*.zip
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
done

echo "== The x86-64 zip under wine64"
provision_wine64_prefix > /dev/null || true
export WINEPREFIX=$work/wine-prefix
if wine_unpack_prefix "$WINE64_PREFIX" "$WINEPREFIX"; then
  zip_run=$(WINE=/usr/lib/wine/wine64 bash tests/wine/zip_run.sh "$(ls build-win64/vesker-*-windows-x86_64.zip)" \
            build/vesker "$root" </dev/null) || fail "${zip_run:-the x86-64 zip under wine64}"
  echo "$zip_run"
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
else
  fail "no 64-bit Wine prefix: .ci/provision.sh wine-prefixes did not make one"
fi

[ $status -eq 0 ] || leg_fail "${#failures[@]} failed: ${failures[0]}"
echo "== install and package leg passed"
leg_note "install, Debian package (lintian, dpkg -i and -r), zips x86_64 and i686; ${zip_run#ok   }"
