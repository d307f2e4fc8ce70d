#!/usr/bin/env bash
# Random stop requests against repeated passes for a minute, on the build of the README's test
# command (build/): every file left must be whole, and no complete pass replaced by a partial one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tests/trials/signal_trials.sh build/vesker build/tests/libslow_tuner.so 60
