#!/usr/bin/env bash
# Provisioning: everything the CI legs need from outside the repository, made once, so that the
# legs themselves only build and test. Each step is idempotent and quick when its result exists;
# a leg run on its own calls the steps it needs.
#
#   bash .ci/provision.sh STEP...
#     packages       every leg's Debian packages (.ci/packages) in one apt-get
#     guest          Debian's kernel for the QEMU guest, and a boot of it (.ci/guest/guest.sh)
#     vidtv          the kernel's virtual DVB driver built for the guest's kernel (.ci/env/vidtv.sh)
#     wine32         32-bit Wine: wine32:i386, or a Debian root holding it (.ci/env/wine.sh)
#     wine-prefixes  the 64-bit and 32-bit Wine prefixes the Windows legs copy (.ci/env/wine.sh)
#
# What it makes lives in $VESKER_CI_STATE (default /var/lib/vesker-ci as root, else
# ~/.cache/vesker-ci) and is kept between runs, like an installed package.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/install.sh"
if [ -z "${VESKER_CI_STATE:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then VESKER_CI_STATE=/var/lib/vesker-ci; else VESKER_CI_STATE=${XDG_CACHE_HOME:-$HOME/.cache}/vesker-ci; fi
fi
export VESKER_CI_STATE
export GUEST_CACHE=${GUEST_CACHE:-$VESKER_CI_STATE/guest}
source "$ci_directory/guest/guest.sh"
source "$ci_directory/env/vidtv.sh"
source "$ci_directory/env/wine.sh"

# Every line of .ci/packages at once. A package the mirror cannot give fails the whole
# apt-get; then each leg's line goes on its own, so that it keeps out only its own leg.
provision_packages() {
  local all missing leg legs
  legs=$(sed -n 's/^\([a-z0-9_-]*\):.*/\1/p' "$ci_directory/packages")
  all=$(leg_packages $legs)
  missing=$(missing_packages $all)
  if [ -z "$missing" ]; then
    echo "packages: all $(wc -w <<<"$all") installed"
    return 0
  fi
  can_install || { echo "packages: cannot install $missing: neither root nor password-less sudo"; return 1; }
  echo "packages: installing $missing"
  apt_update > /dev/null
  if ! DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q $missing \
         </dev/null > "$VESKER_CI_STATE/packages.log" 2>&1; then
    grep '^E: ' "$VESKER_CI_STATE/packages.log" | head -3
    echo "packages: the whole set failed; leg by leg"
    for leg in $legs; do
      missing=$(missing_packages $(leg_packages "$leg"))
      [ -z "$missing" ] && continue
      DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q $missing \
        </dev/null >> "$VESKER_CI_STATE/packages.log" 2>&1 ||
        echo "   $leg: $missing cannot be installed: $(grep '^E: ' "$VESKER_CI_STATE/packages.log" | tail -1)"
    done
  fi
  missing=$(missing_packages $all)
  [ -z "$missing" ] || { echo "packages: still missing: $missing"; return 1; }
  echo "packages: $(wc -w <<<"$all") installed"
}

provision_guest() {
  guest_available || { echo "guest: no guest: $guest_unavailable_reason"; return 1; }
  echo "guest: Debian's kernel $GUEST_KVER boots under QEMU (cache $GUEST_CACHE)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  mkdir -p "$VESKER_CI_STATE"
  status=0
  for step in "$@"; do
    case $step in
      packages) provision_packages || status=1 ;;
      guest) provision_guest || status=1 ;;
      vidtv) provision_vidtv || status=1 ;;
      wine32)
        if ! provision_wine32; then status=1
        else
          where="wine32:i386 on this system"
          [ -z "${WINE32_ROOT:-}" ] || where="wine32:i386 in the Debian root $WINE32_ROOT"
          if wine32_runs_here; then echo "wine32: $where; the 32-bit loader runs here"
          else echo "wine32: $where; the loader does not run here ($(wine32_refusal)): the legs use the QEMU guest"; fi
        fi ;;
      wine-prefixes)
        provision_wine_prefixes && echo "wine-prefixes: $(basename "$WINE64_PREFIX") and $(basename "$WINE32_PREFIX") ready" ||
          status=1 ;;
      wine32-prefix-here) wine32_make_prefix || status=1 ;;   # in the guest, for wine-prefixes
      *) echo "usage: $0 packages|guest|vidtv|wine32|wine-prefixes ..." >&2; exit 2 ;;
    esac
  done
  exit $status
fi
