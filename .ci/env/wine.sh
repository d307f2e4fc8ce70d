# Wine for the Windows legs. Sourced by .ci/provision.sh.
#
#   provision_wine32        32-bit Wine. wine32:i386 goes onto this system when its i386 packages
#                           can be had at the versions of the amd64 ones already installed
#                           (multi-arch needs both alike). When they cannot, say because the
#                           mirror's i386 security index is behind its amd64 one, Wine goes into
#                           a Debian root of its own, built from the signed release alone so that
#                           all its packages agree, and runs there under chroot. Sets WINE32 (the
#                           32-bit loader) and WINE32_ROOT (the root, empty for the system's own).
#   provision_wine_prefixes the 64-bit and the 32-bit Wine prefix (provision_wine64_prefix,
#                           provision_wine32_prefix), made once (wineboot -i takes up to a minute
#                           under QEMU) and kept as tar files ($WINE64_PREFIX, $WINE32_PREFIX),
#                           which the legs unpack (wine_unpack_prefix TAR DIR): one file crosses
#                           into the QEMU guest far faster than the prefix's thousands. The
#                           32-bit one is made in the guest where the 32-bit loader does not run.
#   wine32_runs_here        whether the 32-bit loader runs here (some kernels refuse i386 programs;
#                           VESKER_WINE32_IN_GUEST=1 makes it say no, to try the guest's way)
#   wine32_bind_into_root DIR...  binds what Wine needs into the root, in a mount namespace the
#                           caller made (unshare --mount --propagation private)

wine32_root=${VESKER_WINE32_ROOT:-$VESKER_CI_STATE/wine32-root}
wine32_root_commands=$VESKER_CI_STATE/wine32-root-bin
WINE64_PREFIX=$VESKER_CI_STATE/wine64-prefix.tar
WINE32_PREFIX=$VESKER_CI_STATE/wine32-prefix.tar
# Quiet, and never offering to download the Mono or Gecko add-ons.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

provision_wine32() {
  if dpkg -s wine32:i386 > /dev/null 2>&1 && [ -e /usr/lib/wine/wine ]; then
    WINE32=/usr/lib/wine/wine WINE32_ROOT=
    echo "wine32: wine32:i386 is installed on this system"
  elif [ -e "$wine32_root/.complete" ] || { ! wine32_install_here && wine32_build_root; }; then
    if [ -e "$wine32_root/.complete" ]; then
      wine32_make_root_commands
      WINE32=$wine32_root_commands/wine WINE32_ROOT=$wine32_root
      echo "wine32: wine32:i386 in the Debian root $wine32_root"
    fi
  fi
  [ -n "${WINE32:-}" ] || { echo "wine32: wine32:i386 cannot be installed here, nor in a Debian root of its own"; return 1; }
  export WINE32 WINE32_ROOT
}

# dpkg --add-architecture i386, apt-get update and wine32:i386 on this system. On failure the i386
# architecture goes again if it came for this alone: its broken index would otherwise fail every
# later apt-get update.
wine32_install_here() {
  can_install || return 1
  echo "wine32: installing wine32:i386 on this system"
  local added=0 log=$VESKER_CI_STATE/wine32-install.log
  dpkg --print-foreign-architectures | grep -qx i386 || { as_root dpkg --add-architecture i386; added=1; }
  apt_update > /dev/null
  # On a kernel that refuses i386 programs some i386 maintainer scripts fail; the files are in place.
  DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q wine32:i386 \
    < /dev/null > "$log" 2>&1 || true
  if [ -e /usr/lib/wine/wine ]; then
    WINE32=/usr/lib/wine/wine WINE32_ROOT=
    echo "wine32: wine32:i386 installed on this system"
    return 0
  fi
  echo "   wine32:i386 cannot be installed on this system: $(grep -m1 '^E: ' "$log")"
  grep -m1 ':i386 : Depends: .* but ' "$log" | sed 's/^ */   for one: /' || true
  if [ $added = 1 ] && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
    as_root dpkg --remove-architecture i386 && apt_update > /dev/null
  fi
  return 1
}

# The Debian root with wine32:i386: debootstrap checks the release's signature, apt inside checks
# every index against it. Built aside and renamed, so a broken build is never taken. It takes the
# signed release and bookworm-updates, not the security index that is the trouble: a throw-away
# root that only runs the project's own test programs.
wine32_build_root() {
  [ "$(id -u)" -eq 0 ] || { echo "   a Debian root of its own needs root"; return 1; }
  install_missing debootstrap > /dev/null || return 1
  local part=$wine32_root.part suite mirror=http://deb.debian.org/debian start=$SECONDS
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "wine32: building a Debian root ($suite) with wine32:i386 in $wine32_root"
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

# wine and wineserver32: each runs its program in the root, at the current directory
# (wine32_bind_into_root puts it there under the same path).
wine32_make_root_commands() {
  local program
  mkdir -p "$wine32_root_commands"
  for program in wine wineserver32; do
    printf '%s\n' '#!/bin/sh' \
      "exec chroot $wine32_root /bin/sh -c 'cd \"\$1\" && shift && exec \"\$@\"' sh \"\$PWD\" /usr/lib/wine/$program \"\$@\"" \
      > "$wine32_root_commands/$program.part"
    chmod 755 "$wine32_root_commands/$program.part"
    mv "$wine32_root_commands/$program.part" "$wine32_root_commands/$program"
  done
}

# What Wine needs to see from inside the root: the kernel's file systems, the temporary
# directories, the scan tables the whole runs read, and the caller's directories.
wine32_bind_into_root() {
  local dir
  for dir in /proc /sys /dev /tmp "${TMPDIR:-/tmp}" /usr/share/dvb "$@"; do
    [ -d "$dir" ] || continue
    mountpoint -q "$WINE32_ROOT$dir" && continue
    mkdir -p "$WINE32_ROOT$dir" && mount --rbind "$dir" "$WINE32_ROOT$dir"
  done
}

wine32_runs_here() {
  [ -z "${VESKER_WINE32_IN_GUEST:-}" ] || return 1
  if [ -n "${WINE32_ROOT:-}" ]; then
    wine32_in_namespace "cd / && $WINE32 --version" > /dev/null 2>&1
  else
    /usr/lib/wine/wine --version > /dev/null 2>&1
  fi
}

# Why the 32-bit loader does not run here: the kernel's own words ("Exec format error"), or Wine's.
wine32_refusal() {
  if [ -n "${WINE32_ROOT:-}" ]; then
    wine32_in_namespace "cd / && $WINE32 --version" 2>&1
  else
    /usr/lib/wine/wine --version 2>&1
  fi | tail -1 | sed 's/^.*: //'
}

# wineboot -i with the loader $2 and the server $3 into a scratch prefix, kept as the tar file
# $1; one made by the same Wine version ($4) is kept.
wine_make_prefix() {
  local tar=$1 wine=$2 wineserver=$3 version=$4 start=$SECONDS scratch
  if wine_prefix_current "$tar" "$version"; then
    echo "   $tar (Wine $version) is there"
    return 0
  fi
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/wine-prefix.XXXXXX")
  WINEPREFIX=$scratch/prefix "$wine" wineboot -i < /dev/null > /dev/null 2>&1 || true
  WINEPREFIX=$scratch/prefix "$wineserver" -w || true
  if [ ! -f "$scratch/prefix/system.reg" ]; then
    rm -rf "$scratch"
    echo "   wineboot made no prefix"
    return 1
  fi
  tar -cf "$tar.part" -C "$scratch/prefix" . && mv "$tar.part" "$tar" && echo "$version" > "$tar.made-by"
  rm -rf "$scratch"
  echo "   made $tar (Wine $version) in $((SECONDS - start)) s"
}

wine_prefix_current() {
  [ -f "$1" ] && [ "$(cat "$1.made-by" 2>/dev/null)" = "$2" ]
}

wine_unpack_prefix() {
  [ -f "$1" ] || { echo "no Wine prefix $1: .ci/provision.sh wine-prefixes makes it"; return 1; }
  rm -rf "$2" && mkdir -p "$2" && tar -xf "$1" -C "$2"
}

provision_wine_prefixes() {
  local status=0
  provision_wine64_prefix || status=1
  provision_wine32_prefix || status=1
  return $status
}

provision_wine64_prefix() {
  local version
  echo "wine-prefixes: 64-bit"
  version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || { echo "   wine64 is not installed"; return 1; }
  wine_make_prefix "$WINE64_PREFIX" /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 "$version"
}

provision_wine32_prefix() {
  local status=0 version
  echo "wine-prefixes: 32-bit"
  provision_wine32 > /dev/null || { echo "   no 32-bit Wine"; return 1; }
  version=$(wine32_version)
  if wine_prefix_current "$WINE32_PREFIX" "$version"; then
    echo "   $WINE32_PREFIX (Wine $version) is there"
  elif wine32_runs_here; then
    wine32_make_prefix || status=1
  else
    guest_available || { echo "   no guest to make it in: $guest_unavailable_reason"; return 1; }
    echo "   in the QEMU guest: the 32-bit loader does not run here ($(wine32_refusal))"
    local guest_status=0
    run_in_guest --timeout 600 --mem 3072 --share "$VESKER_CI_STATE" \
      "VESKER_CI_STATE=$VESKER_CI_STATE WINE32=$WINE32 WINE32_ROOT=${WINE32_ROOT:-} \
       bash $ci_directory/provision.sh wine32-prefix-here" || guest_status=$?
    [ $guest_status -eq 0 ] || { echo "   the guest ended with status $guest_status"; status=1; }
  fi
  return $status
}

# The 32-bit prefix, made where the 32-bit loader runs (here, or in the guest).
wine32_make_prefix() {
  wine32_in_namespace "cd / && export WINEARCH=win32 && wine_make_prefix $WINE32_PREFIX $WINE32 $(wine32_server) $(wine32_version)"
}

# The version of the 32-bit Wine, taken from its package (the loader may not run here).
wine32_version() {
  local admin=/var/lib/dpkg
  [ -n "${WINE32_ROOT:-}" ] && admin=$WINE32_ROOT/var/lib/dpkg
  dpkg-query --admindir="$admin" -W -f='${Version}' wine32:i386 2>/dev/null
}

wine32_server() {
  if [ -n "${WINE32_ROOT:-}" ]; then echo "$wine32_root_commands/wineserver32"; else echo /usr/lib/wine/wineserver32; fi
}

# Runs the shell command $1 (with these functions at hand) where the 32-bit Wine runs: in a
# mount namespace of its own with the root's binds, for a root; as it is, for the system's Wine.
wine32_in_namespace() {
  if [ -n "${WINE32_ROOT:-}" ] && [ -z "${VESKER_OWN_MOUNTS:-}" ]; then
    VESKER_OWN_MOUNTS=1 unshare --mount --propagation private \
      bash -c "source $ci_directory/provision.sh && wine32_bind_into_root && $1"
  else
    bash -c "source $ci_directory/provision.sh && $1"
  fi
}
