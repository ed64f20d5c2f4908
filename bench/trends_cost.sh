#!/usr/bin/env bash
# What TRENDS (or COWLISTS) costs a batch with PDF reports: the same generated batch run with
# and without the key, in turns, and the medians of CPU time (user + system, the batch process and its
# workers) and wall time.
#
#   bench/trends_cost.sh [N] [RUNS] [JOBS]
#
# N herds (default 1000) from herdgen, mixed as bench/batch_run.sh mixes them (seed 1); RUNS
# runs of each (default 3); JOBS= of each run (default 1, so that CPU time is the whole work on
# a machine that others share). Every run writes its PDFs and TRENDS.CSV (COWS.CSV) afresh; NOTRACE.
#
# Environment: OVISTA_BUILD (build folder, default <repo>/build), COST_DIR (work folder,
# default /tmp/ovista-trends-cost-N, emptied first), COST_KEY (TRENDS, the default, or COWLISTS).
set -euo pipefail

herds=${1:-1000}
runs=${2:-3}
jobs=${3:-1}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OVISTA_BUILD:-$repo/build}
dir=${COST_DIR:-/tmp/ovista-trends-cost-$herds}
key=${COST_KEY:-TRENDS}
case $key in
  TRENDS) keyfile=TRENDS.CSV ;;
  COWLISTS) keyfile=COWS.CSV ;;
  *) echo "trends_cost: COST_KEY is TRENDS or COWLISTS" >&2; exit 2 ;;
esac
export OVISTA_TODAY=${OVISTA_TODAY:-01/06/2026} QT_QPA_PLATFORM=offscreen

for tool in "$build/ovista" "$build/tools/herdgen" /usr/bin/time; do
  [ -x "$tool" ] || { echo "trends_cost: $tool is missing (build it, or run scripts/deps.sh)" >&2; exit 2; }
done

list() {  # list COUNT ITEM... : COUNT items cycling through ITEMs, comma-separated
  local count=$1; shift
  local items=("$@") out=() i
  for ((i = 0; i < count; i++)); do out+=("${items[i % ${#items[@]}]}"); done
  (IFS=,; echo "${out[*]}")
}
rm -rf "$dir"
mkdir -p "$dir/herds"
"$build/tools/herdgen" --out "$dir/herds" --herds "$herds" --seed 1 \
  --pattern "$(list "$herds" seasonal split yearround)" \
  --quality "$(list "$herds" earlypd mating scans latepd earlypd calvings scans)" \
  --style "$(list "$herds" clean clean clean clean messy)" >/dev/null

# One run: prints "cpu wall" in seconds.
run() {
  local name=$1; shift
  rm -rf "$dir/$name" "$dir/$name.pdf"
  mkdir -p "$dir/$name"
  /usr/bin/time -f "%U %S %e" -o "$dir/time.txt" "$build/ovista" NODIALOGS NOTRACE "JOBS=$jobs" \
    XFERFOLDER="$dir/$name" QMRBATCHFILE="$dir/herds/batch.txt" PDFFOLDER="$dir/$name.pdf" "$@" \
    >/dev/null 2>"$dir/$name.err"
  awk '{printf "%.2f %.2f\n", $1 + $2, $3}' "$dir/time.txt"
}

: >"$dir/times.txt"
for ((r = 1; r <= runs; r++)); do
  echo "plain $(run plain)" >>"$dir/times.txt"
  echo "trends $(run trends "$key")" >>"$dir/times.txt"
done
pages=$(pdfinfo "$(ls "$dir"/trends.pdf/*.pdf | head -1)" 2>/dev/null | awk '/^Pages:/ {print $2}')

python3 - "$dir/times.txt" "$herds" "$jobs" "$pages" "$(wc -l <"$dir/trends/$keyfile")" "$key" "$keyfile" <<'EOF'
import statistics, sys
times, herds, jobs, pages, trend_lines = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
key, keyfile = sys.argv[6], sys.argv[7]
by = {"plain": [], "trends": []}
for line in open(times):
    kind, cpu, wall = line.split()
    by[kind].append((float(cpu), float(wall)))
print(f"{herds} herds, JOBS={jobs}, PDFs, NOTRACE; {len(by['plain'])} runs each, in turns")
for kind, label in (("plain", f"without {key:8}"), ("trends", f"with {key:11}")):
    cpu = [c for c, _ in by[kind]]
    wall = [w for _, w in by[kind]]
    print(f"{label}  CPU {statistics.median(cpu):7.2f} s (runs {', '.join(f'{c:.2f}' for c in cpu)})"
          f"  wall {statistics.median(wall):7.2f} s (runs {', '.join(f'{w:.2f}' for w in wall)})")
cpu = statistics.median(c for c, _ in by["trends"]) / statistics.median(c for c, _ in by["plain"])
wall = statistics.median(w for _, w in by["trends"]) / statistics.median(w for _, w in by["plain"])
print(f"ratio                 CPU {cpu:.2f}  wall {wall:.2f}   (PDF pages of the first herd with {key}: {pages}; "
      f"{keyfile} rows: {trend_lines - 1})")
EOF
