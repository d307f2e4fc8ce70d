#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer: a build with
# VESKER_SANITIZERS=ON in build-sanitizers, then ctest. Any report fails the run.
# VESKER_JOBS sets the build parallelism (default 2).
source "$(dirname "$0")/leg.sh"
leg_begin sanitizers
root=$repository
build=$root/build-sanitizers

cmake -S "$root" -B "$build" -DVESKER_SANITIZERS=ON -DVESKER_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null
cmake --build "$build" -j"$jobs" </dev/null

# Leak detection needs ptrace-free process control; some containers refuse it. Probe with
# one test executable and keep leak checks only where they work.
leaks=1
probe=$(find "$build/tests" -maxdepth 1 -type f -name '*_test' -perm -u+x | head -n 1)
if [ -n "$probe" ] &&
   ! ASAN_OPTIONS=detect_leaks=1 "$probe" --gtest_list_tests >/dev/null 2>"$build/lsan-probe.log" </dev/null &&
   grep -q "LeakSanitizer has encountered a fatal error\|does not work under ptrace" "$build/lsan-probe.log"; then
  leg_note "leak detection off: LeakSanitizer cannot run here ($(grep -m1 LeakSanitizer "$build/lsan-probe.log"))"
  leaks=0
fi

export ASAN_OPTIONS="detect_leaks=$leaks:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="report_objects=1"
echo "== ctest under ASan+UBSan (detect_leaks=$leaks)"
cd "$build"
ctest --output-on-failure -j"$jobs" </dev/null | tee ctest.txt
leg_note "under ASan+UBSan$([ $leaks = 1 ] && echo ' and LSan'): $(ctest_summary ctest.txt)"
