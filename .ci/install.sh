# Sourced by the CI legs.
#
#   install_missing PACKAGE...   installs with apt-get whatever of the named Debian packages this
#                                machine lacks (as root, or through sudo)
#   apt_update [chroot DIR]      apt-get update; the mirror is sometimes mid-sync and fails an
#                                index: three tries, then on with what it has

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

apt_update() {
  local attempt
  for attempt in 1 2 3; do
    as_root "$@" apt-get update -q </dev/null && return 0
    echo "   apt-get update failed (try $attempt of 3)"
    [ "$attempt" -lt 3 ] && sleep 15
  done
  return 0
}

install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q "${missing[@]}" </dev/null
}
