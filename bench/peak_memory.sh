#!/usr/bin/env bash
# Peak resident memory (KB of 1,024 bytes, /usr/bin/time) of one-process runs: an empty batch,
# then each batch file given, plain, with traces and with PDFs.
#
#   bench/peak_memory.sh OVISTA [BATCH_FILE...]
#
# Each run is made twice. The start-up alone is the empty batch's figure; what a herd adds
# is its run's figure less that of a batch of one small herd, since the first herd of a run
# also loads the collation and the analysis's code. OVISTA_TODAY defaults to 01/06/2026.
set -euo pipefail
ovista=$1
shift
export OVISTA_TODAY=${OVISTA_TODAY:-01/06/2026}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/empty.txt"

peak() {
  local batch=$1
  shift
  rm -rf "$work/out"
  mkdir -p "$work/out/pdf"
  /usr/bin/time -f %M -o "$work/time" "$ovista" NODIALOGS XFERFOLDER="$work/out" \
    QMRBATCHFILE="$batch" JOBS=1 "$@" >/dev/null 2>&1 || true
  tail -1 "$work/time"
}

labels=("NOTRACE" "traces" "NOTRACE, PDFs")
for batch in "$work/empty.txt" "$@"; do
  name=$batch
  [ "$batch" = "$work/empty.txt" ] && name="(empty batch)"
  keys=("NOTRACE" "" "NOTRACE PDFFOLDER=$work/out/pdf")
  for i in 0 1 2; do
    # shellcheck disable=SC2086
    echo "$name, ${labels[i]}: $(peak "$batch" ${keys[i]}) $(peak "$batch" ${keys[i]}) KB"
  done
done
