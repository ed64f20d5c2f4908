#!/usr/bin/env bash
# Installs what is missing, builds, and analyses the bundled sample herds as a batch.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
out=${1:-$PWD/out/demo}
mkdir -p "$out"
if [ -f examples/batch.txt ]; then
  build/ovista NODIALOGS "XFERFOLDER=$out" "QMRBATCHFILE=$PWD/examples/batch.txt"
  echo "Batch log ($out/QMRBATCH.REP):"
  cat "$out/QMRBATCH.REP"
  echo "Summary rows ($out/TAMSLREP.CSV):"
  cat "$out/TAMSLREP.CSV"
else
  build/ovista --help
fi
