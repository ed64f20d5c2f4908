#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test:
# the normal build, the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a short run of every fuzz target.
# Build folders: $OVISTA_BUILD_DIR (build/), $OVISTA_ASAN_BUILD_DIR (build-asan/),
# $OVISTA_FUZZ_BUILD_DIR (build-fuzz/); $OVISTA_FUZZ_SECONDS per fuzz target (25).
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
build=${OVISTA_BUILD_DIR:-$root/build}
asan=${OVISTA_ASAN_BUILD_DIR:-$root/build-asan}
scripts/deps.sh
OVISTA_BUILD_DIR=$build scripts/build.sh -DOVISTA_WERROR=ON
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j "$(nproc)")

# The whole suite again with the sanitizers; any report fails its test. The ovista runs of
# the end-to-end tests inherit these settings.
OVISTA_BUILD_DIR=$asan scripts/build.sh -DOVISTA_WERROR=ON -DOVISTA_SANITIZE=ON -DOVISTA_BENCH=OFF
(
  cd "$asan"
  export ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
  export LSAN_OPTIONS=suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1
  ctest --output-on-failure -j "$(nproc)"
)

# Every reader of outside data under libFuzzer for a short while, two targets at a time.
fuzz/run_all.sh "${OVISTA_FUZZ_SECONDS:-25}" 2
