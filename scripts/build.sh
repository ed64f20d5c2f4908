#!/usr/bin/env bash
# Configures and builds into build/ (or $OVISTA_BUILD_DIR) with the CMake options given;
# every target, or only those named with --target (each --target before the options).
#
#   scripts/build.sh [--target NAME]... [-DOPTION=VALUE]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OVISTA_BUILD_DIR:-$root/build}
targets=()
while (($#)) && [ "$1" = --target ]; do
  targets+=(--target "${2:?--target needs a name}")
  shift 2
done
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
