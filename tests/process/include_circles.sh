#!/bin/bash
# The CI's include-circle check (.ci/include_circles.sh) on small trees of its own: it must name
# a circle of three units and the include lines that close it, a circle of folders that no file
# circle shows, and an include it cannot follow; and pass a tree without circles.
# Usage: include_circles.sh VESKER LUMORATH SOURCE_DIR (only SOURCE_DIR is used)
set -u
check=$3/.ci/include_circles.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# tree NAME "path|line..." ...: a tree whose files hold the given lines.
tree() {
  local root=$work/$1 entry path
  shift
  mkdir -p "$root/src" "$root/sim/timing" "$root/dvb"
  for entry in "$@"; do
    path=$root/${entry%%|*}
    mkdir -p "$(dirname "$path")"
    printf '%s\n' "${entry#*|}" | tr '|' '\n' >> "$path"
  done
}
# expect NAME STATUS PATTERN...: the check on tree NAME exits STATUS and prints every pattern.
expect() {
  local name=$1 want=$2 output status=0 pattern
  shift 2
  output=$(bash "$check" "$work/$name" 2>&1) || status=$?
  [ "$status" -eq "$want" ] || fail "$name: exit $status, not $want: $output"
  for pattern in "$@"; do
    grep -qF -- "$pattern" <<<"$output" || fail "$name: no \"$pattern\" in: $output"
  done
}

# x -> y -> z -> x across two folders, through a header of a unit and a header alone.
tree three "src/a/x.h|" "src/a/x.cpp|#include \"b/y.h\"" "src/b/y.h|" "src/b/y.cpp|#include \"z.h\"" \
  "src/b/z.h|  #  include \"a/x.h\""
expect three 1 "circle of files: src/a/x -> src/b/y -> src/b/z -> src/a/x" \
  "src/a/x.cpp:1 includes b/y.h" "src/b/y.cpp:1 includes z.h" "src/b/z.h:1 includes a/x.h" \
  "circle of folders: src/a -> src/b -> src/a" "include circles: 2 found"

# Folders in a circle though no unit is: a/p uses b/q, b/r uses a/s.
tree folders "src/a/p.cpp|#include \"b/q.h\"" "src/b/q.h|" "src/b/r.cpp|#include \"a/s.h\"" "src/a/s.h|"
expect folders 1 "circle of folders: src/a -> src/b -> src/a" "include circles: 1 found"
output=$(bash "$check" "$work/folders")
grep -q "circle of files" <<<"$output" && fail "folders: a file circle reported: $output"

# An include found nowhere: the graph would miss it.
tree lost "dvb/d.cpp|#include \"gone.h\""
expect lost 1 "dvb/d.cpp:1 includes \"gone.h\", found nowhere"

# Each include directory, and a header beside its includer that comes before a namesake in
# another include directory (taking sim/settings.h for dvb/settings.h would close a circle).
tree clean "sim/timing/search_timing.h|" "sim/search.cpp|#include \"search_timing.h\"|#include \"tuner/t.h\"" \
  "src/tuner/t.h|" "src/tuner/t.cpp|#include \"tuner/t.h\"" "dvb/settings.h|" "dvb/only.h|" \
  "dvb/d.cpp|#include \"settings.h\"|#include <vector>" "sim/settings.h|#include \"only.h\""
expect clean 0 "include circles: none in 5 includes"

echo "include circle checks: $failures failed"
[ "$failures" -eq 0 ]
