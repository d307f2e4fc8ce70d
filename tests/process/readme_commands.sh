#!/bin/bash
# The README's two commands, pasted one after the other into one shell at the top of the
# tree: the first builds only the program and the simulator (a first scan must not wait for
# the test suite), the scan must run in scan-output/ and leave the shell where it was, so that
# the test command builds everything and tests the tree. cmake, ctest and the program are stand-ins that
# note where they ran (the real ones are what this suite itself is).
# Usage: readme_commands.sh VESKER LUMORATH SOURCE_DIR
set -u
source_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The README opens with the two: the first two sh blocks.
commands=$(awk '/^```sh$/ { inside = 1; blocks++; next } /^```$/ { inside = 0; if (blocks == 2) exit } inside' "$source_dir/README.md")
[ "$(printf '%s\n' "$commands" | wc -l)" -eq 2 ] || fail "expected two one-line commands, got: $commands"

mkdir -p "$work/tree/build" "$work/tree/examples"
cd "$work/tree"
log=$work/log.txt
printf '#!/bin/bash\necho "vesker $PWD $*" >>%q\n' "$log" >build/vesker
chmod +x build/vesker
cmake() { echo "cmake $PWD $*" >>"$log"; }
ctest() { echo "ctest $PWD $*" >>"$log"; }
while IFS= read -r command; do
    eval "$command" || fail "the command failed: $command"
done <<<"$commands"

grep -q "^vesker $work/tree/scan-output \.\./examples/" "$log" || fail "the scan did not run in scan-output/: $(cat "$log")"
grep -q "^ctest $work/tree --test-dir build" "$log" || fail "the test command ran elsewhere: $(cat "$log")"
builds=$(grep "^cmake $work/tree --build " "$log")
[ "$(printf '%s\n' "$builds" | head -n 1 | grep -o -- '--target .*')" = "--target vesker Lumorath" ] ||
    fail "the scan command builds more than the program and the simulator: $builds"
printf '%s\n' "$builds" | sed -n 2p | grep -q -- '--target' && fail "the test command builds only some targets: $builds"
[ "$PWD" = "$work/tree" ] || fail "the shell was left in $PWD"
echo "ok"
