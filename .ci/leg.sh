# Sourced at the top of each CI leg: the repository as working directory, the provisioning steps
# at hand (.ci/provision.sh), the build trees the legs share, and how a leg reports to the run's
# final table (.ci/run). A leg never skips: it passes, or fails with its reason.
#
#   leg_begin LEG       installs the leg's packages where missing (a leg run on its own)
#   leg_note TEXT       one line of what ran, for the table
#   leg_fail TEXT       ends the leg FAILED, with TEXT as its reason in the table
#   ctest_summary FILE  ctest's closing line in the output FILE, and the tests it skipped
#   linux_build TARGET...          build/, as the README configures it, with those targets
#   windows_build ARCH [ARGS...]   build-win64 (x86_64) or build-win32 (i686) with the tests;
#                                  ARGS go to the configuration
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/provision.sh"
cd "$ci_directory/.."
repository=$PWD
jobs=${VESKER_JOBS:-2}

leg_begin() {
  local missing
  missing=$(missing_packages $(leg_packages "$1"))
  [ -z "$missing" ] && return 0
  can_install || leg_fail "needs $missing, and this user cannot install packages"
  install_missing $missing > /dev/null || leg_fail "$missing cannot be installed"
}

leg_note() {
  echo "== note: $*"
  [ -z "${VESKER_CI_NOTES:-}" ] || printf '%s\n' "$*" >> "$VESKER_CI_NOTES"
}

leg_fail() {
  echo "FAILED: $*"
  # The first reason stands: a leg that fails in the guest has said why there.
  [ -z "${VESKER_CI_REASON:-}" ] || [ -s "$VESKER_CI_REASON" ] || printf '%s\n' "$*" > "$VESKER_CI_REASON"
  exit 1
}

ctest_summary() {
  local line skipped
  line=$(grep -E '^[0-9]+% tests passed' "$1" | tail -1)
  skipped=$(sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/\1/p' "$1" | paste -sd, - | sed 's/,/, /g')
  echo "${line:-no test summary}${skipped:+; skipped: $skipped}"
}

linux_build() {
  [ -f build/CMakeCache.txt ] || cmake -S . -B build < /dev/null > /dev/null
  cmake --build build -j"$jobs" --target "$@" < /dev/null > /dev/null
}

windows_build() {
  local arch=$1 tree
  shift
  case $arch in x86_64) tree=build-win64 ;; i686) tree=build-win32 ;; esac
  cmake -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$repository/cmake/mingw-w64-$arch.cmake" -DVESKER_TESTS=ON \
    "$@" < /dev/null > /dev/null
  cmake --build "$tree" -j"$jobs" < /dev/null
}
