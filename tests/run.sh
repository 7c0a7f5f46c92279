#!/usr/bin/env bash
# Builds the library and runs the whole test suite, then runs it again under
# AddressSanitizer and UndefinedBehaviorSanitizer (without the full-length
# end-to-end renders, which the first run covers).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
(cd build && xvfb-run -a ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREELKA_SANITIZE=ON -DREELKA_BENCH=OFF
cmake --build build-asan -j"$jobs" --target reelka_tests reelka reelka_exit_during_pass
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && xvfb-run -a ctest --output-on-failure -j"$jobs" -E 'EndToEnd')
