#!/usr/bin/env bash
# Builds everything and runs every test: once in the release build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DQORTA_BUILD_TESTS=ON -DQORTA_BUILD_BENCH=ON
ctest --test-dir build -j "$jobs" --output-on-failure

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DQORTA_SANITIZE=ON -DQORTA_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure
