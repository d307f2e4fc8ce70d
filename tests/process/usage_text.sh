#!/bin/bash
# --help and its short forms print the usage text and --version the banner line, exit 0 and
# load no library; a configuration file really named like an option is still read. The
# usage text equals the block in the README's "Running" section and the manual page's.
# Usage: usage_text.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# No library can be loaded: an answer that needed one would exit 254.
export LUMORATH_LIBRARY=$work/no-such-library.so
"$vesker" --help >help.txt 2>err.txt </dev/null || fail "--help: exit $?"
[ -s help.txt ] && [ ! -s err.txt ] || fail "--help: nothing on standard output, or something on standard error"
for option in -h -? /?; do
  "$vesker" "$option" >out.txt </dev/null || fail "$option: exit $?"
  cmp -s help.txt out.txt || fail "$option prints another text"
done
"$vesker" --version >out.txt </dev/null || fail "--version: exit $?"
[ "$(cat out.txt)" = "Vesker ver.1.1.0.1338-commited" ] || fail "--version printed: $(cat out.txt)"

# The README block: the first fenced block of the "Running" section.
sed -n '/^## Running$/,/^## /p' "$source/README.md" | sed -n '/^```/,/^```$/p' | sed '1d;$d' >readme.txt
# The manual page block: between the marks, roff escapes undone.
sed -n '/^\.\\" usage text begin$/,/^\.\\" usage text end$/p' "$source/doc/vesker.1" |
  sed -e '1,2d' -e '$d' | sed -e '$d' -e 's/\\-/-/g' -e 's/\\&//g' -e 's/\\(rs/\\/g' >man.txt
diff -u help.txt readme.txt || fail "the README's usage block differs from vesker --help"
diff -u help.txt man.txt || fail "the manual page's usage block differs from vesker --help"

# A configuration that is really named --help is read (with the simulator: no Scan0, no passes).
export LUMORATH_LIBRARY=$library
printf '[Options]\r\nDevice=0\r\n' >./--help
"$vesker" --help >out.txt 2>err.txt </dev/null || fail "configuration named --help: exit $?"
grep -qx 'Config name: ./--help' out.txt || fail "configuration named --help not read: $(head -3 out.txt)"
grep -qx 'Transponders not found !' out.txt || fail "configuration named --help: no empty pass"
echo "ok"
