#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan+UBSan and runs each for a short time
# over its checked-in seed corpus (fuzz/corpus/<target>/). Any crash, sanitizer report,
# failed check or timeout fails the run; the input is kept in <build>/artifacts/.
# FUZZ_SECONDS sets the time per target (default 45), VESKER_JOBS the build parallelism
# (default 2), VESKER_FUZZ_BUILD the build directory (default build-fuzz).
source "$(dirname "$0")/leg.sh"
leg_begin fuzz
root=$repository
build=${VESKER_FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-45}
targets=(ini_reader_fuzz config_run_fuzz record_pass_fuzz section_reader_fuzz)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVESKER_FUZZERS=ON -DVESKER_SANITIZERS=ON -DVESKER_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null
cmake --build "$build" --target "${targets[@]}" -j"$jobs" </dev/null

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$build/artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=() runs=()
for target in "${targets[@]}"; do
  echo "== $target: ${seconds} s"
  mkdir -p "$work/$target"
  # New inputs go to the scratch corpus (the first directory); the seeds stay untouched.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
       "$work/$target" "$root/fuzz/corpus/$target" >"$work/$target.log" 2>&1 </dev/null; then
    grep -E "^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units" "$work/$target.log" || true
    runs+=("$target $(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")")
  else
    tail -n 60 "$work/$target.log"
    echo "== $target FAILED; inputs in $build/artifacts/"
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ] || leg_fail "fuzzing failed: ${failed[*]} (inputs in $build/artifacts/)"
echo "== fuzzing passed"
leg_note "$seconds s each, inputs run: $(IFS=,; echo "${runs[*]}" | sed 's/,/, /g')"
