#!/usr/bin/env bash
# Regenerates docs/ACCURACY.md and its charts docs/accuracy/*.png from scratch.
#
#   bench/accuracy.sh
#
# Builds ovista and herdgen when needed, generates a fixed batch of 1,500 herds (seed 2026:
# the three calving patterns times five kinds of records, every fourth file messy), runs it
# unattended with a fixed report date and TRENDS (each herd's earlier seasons in TRENDS.CSV) and
# compares the summary rows with the generator's manifest (bench/accuracy.py). Running it twice gives the same page and the same PNG bytes.
#
# Environment: OVISTA_BUILD (build folder, default <repo>/build), ACCURACY_DIR (scratch
# folder, default /tmp/ovista-accuracy, emptied first and removed at the end unless
# ACCURACY_KEEP=1).
set -euo pipefail

herds=1500
seed=2026
date=31/05/2026     # analysis date of every herd, end of its history
today=01/06/2026    # report date written into each summary row

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OVISTA_BUILD:-$repo/build}
dir=${ACCURACY_DIR:-/tmp/ovista-accuracy}

# Charts: Debian's matplotlib, run by the system's own Python (not whatever python3 is first
# on the PATH), so the PNG bytes depend only on the Debian release.
python=/usr/bin/python3
if ! "$python" -c 'import matplotlib' 2>/dev/null; then
  echo "accuracy: installing python3-matplotlib"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target ovista herdgen >/dev/null

# Herd i: calving pattern i mod 3, records (i div 3) mod 5, messy when i mod 4 is 3, so every
# pattern and kind of records has the same number of herds.
list() {  # list COUNT ITEM... : COUNT items cycling through ITEMs, comma-separated
  local count=$1; shift
  local items=("$@") out=() i
  for ((i = 0; i < count; i++)); do out+=("${items[i % ${#items[@]}]}"); done
  (IFS=,; echo "${out[*]}")
}
patterns=$(list "$herds" seasonal split yearround)
qualities=$(list "$herds" earlypd earlypd earlypd scans scans scans mating mating mating \
  latepd latepd latepd calvings calvings calvings)
styles=$(list "$herds" clean clean clean messy)

rm -rf "$dir"
mkdir -p "$dir/herds" "$dir/out" "$dir/no-cups" "$dir/matplotlib"
"$build/tools/herdgen" --out "$dir/herds" --herds "$herds" --seed "$seed" --date "$date" \
  --pattern "$patterns" --quality "$qualities" --style "$styles" >"$dir/herdgen.txt"

# No reports: an empty print-spooler setup leaves no printer to send them to (each is logged
# as not printed), and the trace files are left out where the program can.
keys=(NODIALOGS TRENDS XFERFOLDER="$dir/out" QMRBATCHFILE="$dir/herds/batch.txt")
help=$("$build/ovista" --help 2>&1 || true)
if [[ $help == *NOTRACE* ]]; then keys+=(NOTRACE); fi
echo "accuracy: analysing $herds herds in $dir"
status=0
CUPS_SERVER="$dir/no-cups/socket" CUPS_SERVERROOT="$dir/no-cups" QT_QPA_PLATFORM=offscreen \
  OVISTA_TODAY=$today "$build/ovista" "${keys[@]}" >"$dir/stdout.txt" 2>"$dir/stderr.txt" \
  || status=$?
rows=$(($(wc -l <"$dir/out/TAMSLREP.CSV") - 1))
if [ "$status" -ne 0 ] || [ "$rows" -ne "$herds" ]; then
  echo "accuracy: the batch ended with status $status and $rows summary rows of $herds" >&2
  exit 1
fi

MPLCONFIGDIR="$dir/matplotlib" "$python" "$repo/bench/accuracy.py" "$dir/out/TAMSLREP.CSV" \
  "$dir/out/TRENDS.CSV" "$dir/herds/manifest.csv" "$repo/docs" "$herds" "$seed" "$date" "$today"
[ "${ACCURACY_KEEP:-0}" = 1 ] || rm -rf "$dir"
echo "accuracy: wrote docs/ACCURACY.md and docs/accuracy/*.png"
