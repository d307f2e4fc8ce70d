#!/usr/bin/env bash
# The Linux build and the whole test suite, by the README's own test command (its second sh
# block), as a newcomer would paste it.
source "$(dirname "$0")/leg.sh"
leg_begin linux

command=$(awk '/^```sh$/ { inside = 1; blocks++; next } /^```$/ { inside = 0 } inside && blocks == 2' README.md)
[ -n "$command" ] || leg_fail "README.md has no test command (its second sh block)"
echo "== $command"
mkdir -p build-ci
status=0
bash -c "$command" < /dev/null 2>&1 | tee build-ci/linux-tests.txt || status=$?
summary=$(ctest_summary build-ci/linux-tests.txt)
[ $status -eq 0 ] || leg_fail "the README's test command: exit $status, $summary"
leg_note "the README's test command: $summary"
