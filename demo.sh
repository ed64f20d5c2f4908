#!/usr/bin/env bash
# Installs what is missing, builds the program and its chart pictures (the tests and the
# benchmarks are test.sh's), and analyses the bundled sample herds as a batch, with each
# herd's report as a PDF file.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh --target ovista
export QT_QPA_PLATFORM=offscreen
out=${1:-$PWD/out/demo}
mkdir -p "$out"
if [ -f examples/batch.txt ]; then
  build/ovista NODIALOGS "XFERFOLDER=$out" "QMRBATCHFILE=$PWD/examples/batch.txt" "PDFFOLDER=$out/pdf"
  echo "Batch log ($out/QMRBATCH.REP):"
  cat "$out/QMRBATCH.REP"
  echo "Summary rows ($out/TAMSLREP.CSV):"
  cat "$out/TAMSLREP.CSV"
  echo "Reports as PDF files ($out/pdf):"
  ls -1 "$out/pdf"
  echo "Summary file: $out/TAMSLREP.CSV"
  echo "PDF reports:  $out/pdf/"
else
  build/ovista --help
fi
