#!/usr/bin/env bash
# Times a whole batch run on generated herds and summarises what came out.
#
#   bench/batch_run.sh [N] [SEED]
#
# Makes N herds (default 200) with seed SEED (default 1): all three calving patterns, all
# five kinds of records, a messy file every fifth herd and herd sizes drawn from 55 to
# 1000 cows. Runs the batch under /usr/bin/time -v, then prints wall time, peak memory,
# herds per second, the spread of AnalType, ActCalvingPattern and Error over the summary
# rows and the batch-log lines by kind.
#
# Environment: OVISTA_BUILD (build folder, default <repo>/build), BATCH_DIR (work folder,
# default /tmp/ovista-batch-N-SEED, emptied first), OVISTA_TODAY (report date, default
# 01/06/2026 so two runs give the same bytes).
set -euo pipefail

herds=${1:-200}
seed=${2:-1}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OVISTA_BUILD:-$repo/build}
dir=${BATCH_DIR:-/tmp/ovista-batch-$herds-$seed}
export OVISTA_TODAY=${OVISTA_TODAY:-01/06/2026}

for tool in "$build/ovista" "$build/tools/herdgen" /usr/bin/time; do
  [ -x "$tool" ] || { echo "batch_run: $tool is missing (build it, or run scripts/deps.sh)" >&2; exit 2; }
done

# Cycles of 3 patterns, 7 record kinds and 5 styles: every combination turns up within 105
# herds. Early pregnancy scans (with or without services) fill four places of the seven, as the
# in-calf rates are checked against the truth on them.
list() {  # list COUNT ITEM... : COUNT items cycling through ITEMs, comma-separated
  local count=$1; shift
  local items=("$@") out=() i
  for ((i = 0; i < count; i++)); do out+=("${items[i % ${#items[@]}]}"); done
  (IFS=,; echo "${out[*]}")
}
patterns=$(list "$herds" seasonal split yearround)
qualities=$(list "$herds" earlypd mating scans latepd earlypd calvings scans)
styles=$(list "$herds" clean clean clean clean messy)

rm -rf "$dir"
mkdir -p "$dir/herds" "$dir/out"
"$build/tools/herdgen" --out "$dir/herds" --herds "$herds" --seed "$seed" \
  --pattern "$patterns" --quality "$qualities" --style "$styles" >"$dir/herdgen.txt"

set +e
/usr/bin/time -v -o "$dir/time.txt" "$build/ovista" NODIALOGS XFERFOLDER="$dir/out" \
  QMRBATCHFILE="$dir/herds/batch.txt" >"$dir/stdout.txt" 2>"$dir/stderr.txt"
status=$?
set -e

python3 - "$dir" "$herds" "$status" <<'EOF'
import collections, csv, re, sys

folder, herds, status = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])

def timed(label):
    for line in open(f"{folder}/time.txt"):
        key, _, value = line.strip().partition(": ")
        if key == label:
            return value
    return ""

wall = timed("Elapsed (wall clock) time (h:mm:ss or m:ss)")
seconds = 0.0
for part in wall.split(":"):
    seconds = seconds * 60 + float(part)
rss_kb = int(timed("Maximum resident set size (kbytes)") or 0)
lactations = sum(int(r["lactations"]) for r in {r["herd"]: r for r in
                 csv.DictReader(open(f"{folder}/herds/manifest.csv"))}.values())

print(f"batch folder     {folder}")
print(f"herds            {herds} ({lactations} lactation rows)")
print(f"exit status      {status}")
print(f"wall time        {seconds:.2f} s  (user {timed('User time (seconds)')} s, "
      f"system {timed('System time (seconds)')} s)")
print(f"max RSS          {rss_kb / 1024:.1f} MiB")
if seconds > 0:
    print(f"herds per second {herds / seconds:.1f}  ({lactations / seconds:.0f} lactations per second)")

with open(f"{folder}/out/TAMSLREP.CSV", newline="", encoding="latin-1") as f:
    rows = list(csv.reader(f))[1:]
print(f"summary rows     {len(rows)}")

def spread(title, column, names={}):
    counts = collections.Counter(r[column - 1] for r in rows)
    cells = ", ".join(f"{k}{names.get(k, '')}: {counts[k]}" for k in sorted(counts, key=int))
    print(f"{title:18} {cells}")

spread("AnalType", 15, {"0": " (none)", "1": " (mating)", "2": " (early PD)",
                        "3": " (PD)", "4": " (recalving)"})
spread("ActCalvingPattern", 6, {"0": " (none)", "1": " (seasonal)", "2": " (split)",
                                "3": " (year-round)"})
spread("Error", 4)

kinds = collections.Counter()
for line in open(f"{folder}/out/QMRBATCH.REP", encoding="latin-1"):
    line = line.rstrip("\r\n")
    if line.startswith("Data analysed from "):
        kinds["Data analysed from ..."] += 1
    elif m := re.match(r"Analysis failes for .* with error code (-?\d+)$", line):
        kinds[f"Analysis failes ... with error code {m.group(1)}"] += 1
    elif m := re.match(r"Analysis failes for .*?\.csv: (.*)$", line):
        kinds[f"Analysis failes ...: {m.group(1)}"] += 1
    else:
        kinds[" ".join(line.split()[:3]) + " ..."] += 1
print("QMRBATCH.REP lines by kind:")
for kind, n in kinds.most_common():
    print(f"  {n:6}  {kind}")

other = collections.Counter()
for line in open(f"{folder}/stderr.txt", encoding="latin-1"):
    if line.startswith("Extracting Tamsel data for ") or line.startswith("QStandardPaths:"):
        continue
    other[re.sub(r"\d+", "#", line.strip())[:90]] += 1
if other:
    print("other messages on standard error:")
    for text, n in other.most_common(15):
        print(f"  {n:6}  {text}")
EOF
