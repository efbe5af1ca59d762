#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, runs
# every fuzz target for a short bounded time, then every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build-test -DCMAKE_BUILD_TYPE=Release -DORV_WERROR=ON
bash scripts/fuzz.sh "${ORV_FUZZ_SECONDS:-20}"
cd build-test
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600
