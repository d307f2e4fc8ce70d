# Sourced by the CI steps.
#
#   install_missing PACKAGE...   installs with apt-get whatever of the named Debian packages this
#                                machine lacks (as root, or through sudo)
#   apt_update [chroot DIR]      apt-get update; the mirror is sometimes mid-sync and fails an
#                                index: three tries, then on with what it has
#   leg_packages LEG...          the packages of those legs' lines in .ci/packages
#   missing_packages PACKAGE...  those of the named packages that are not installed
#   can_install                  whether this user may install packages (root, or sudo -n)

ci_directory=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

can_install() {
  [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null
}

apt_update() {
  local attempt
  for attempt in 1 2 3; do
    as_root "$@" apt-get -o DPkg::Lock::Timeout=900 update -q </dev/null && return 0
    echo "   apt-get update failed (try $attempt of 3)"
    [ "$attempt" -lt 3 ] && sleep 15
  done
  return 0
}

leg_packages() {
  local leg
  for leg in "$@"; do
    sed -n "s/^$leg:[[:space:]]*//p" "$ci_directory/packages"
  done | tr ' ' '\n' | sed '/^$/d' | sort -u | tr '\n' ' '
}

missing_packages() {
  local package missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  echo "${missing[*]}"
}

install_missing() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "== installing $missing"
  apt_update
  # Other installs on this machine hold dpkg's lock for a while: wait for it.
  DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q $missing </dev/null
}
