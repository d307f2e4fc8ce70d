#!/usr/bin/env bash
# Random stop requests against repeated passes for a minute, on the build of the README's test
# command (build/): every file left must be whole, and no complete pass replaced by a partial one.
source "$(dirname "$0")/leg.sh"
leg_begin trials
linux_build vesker slow_tuner
mkdir -p build-ci
bash tests/trials/signal_trials.sh build/vesker build/tests/libslow_tuner.so 60 | tee build-ci/trials.txt
leg_note "$(tail -1 build-ci/trials.txt)"
