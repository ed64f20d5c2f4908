#!/usr/bin/env bash
# Configures and builds into build/ (or $OVISTA_BUILD_DIR) with the options given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OVISTA_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
