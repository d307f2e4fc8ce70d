# Sourced by the CI legs: install_missing PACKAGE... installs with apt-get whatever of the
# named Debian packages this machine lacks (as root, or through sudo).
install_missing() {
  local missing=() package sudo=""
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q </dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}" </dev/null
}
