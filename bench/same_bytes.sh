#!/usr/bin/env bash
# Runs one generated batch with two ovista executables (or one executable with two sets of
# keys) and checks that every file they write is the same to the byte.
#
#   bench/same_bytes.sh OLD_OVISTA NEW_OVISTA [N] [SEED]
#
# The batch: N herds (default 300) with seed SEED (default 7), every calving pattern and kind
# of records, every third file messy, and every seventh file roughened further: cow
# identifiers in another letter case, rows with a bad date, an integer that is not one or a
# value beyond 16 bits, a row in CR-only line ends, a repeated row. The batch file ends with
# a herd file that does not exist. Compared: QMRBATCH.REP, TAMSLREP.CSV, CONCEPS.CSV,
# DbugQMR.TXT, DbugQM1.TXT and the messages on standard error; a file that neither run wrote
# (the traces with NOTRACE) counts as the same; TRENDS.CSV and COWS.CSV too when written.
#
# Environment: OLD_KEYS / NEW_KEYS (extra keys for each run, such as JOBS=2), HERDGEN (the
# generator, default build/tools/herdgen), DIR (work folder, default /tmp/ovista-same-N-SEED),
# OVISTA_TODAY (default 01/06/2026).
set -euo pipefail

old=$1
new=$2
herds=${3:-300}
seed=${4:-7}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
herdgen=${HERDGEN:-$repo/build/tools/herdgen}
dir=${DIR:-/tmp/ovista-same-$herds-$seed}
export OVISTA_TODAY=${OVISTA_TODAY:-01/06/2026}

styles=$(python3 -c "print(','.join('messy' if i % 3 == 2 else 'clean' for i in range($herds)))")
rm -rf "$dir"
mkdir -p "$dir/herds" "$dir/old" "$dir/new"
"$herdgen" --out "$dir/herds" --herds "$herds" --seed "$seed" --style "$styles" >/dev/null

python3 - "$dir/herds" "$herds" <<'EOF'
import random, sys
folder, herds = sys.argv[1], int(sys.argv[2])
rng = random.Random(herds)
for i in range(1, herds + 1, 7):
    path = f"{folder}/herd{i:03d}.csv"
    rows = open(path, "rb").read().split(b"\n")
    for n in range(2, len(rows) - 1):
        cells = rows[n].split(b",")
        if len(cells) < 12:
            continue
        roll = rng.random()
        if roll < 0.05:
            cells[0] = cells[0].lower() if rng.random() < 0.5 else cells[0].upper() + b"x"
        elif roll < 0.06:
            cells[1] = b"31/02/2024"
        elif roll < 0.07:
            cells[9] = b"12a"
        elif roll < 0.08:
            cells[8] = b"40000"
        elif roll < 0.09:
            cells[10] = b"1e9"
        elif roll < 0.10:
            rows.append(rows[n])
        rows[n] = b",".join(cells)
    rows[5] = rows[5].rstrip(b"\r") + b"\r"  # joins the next row through a lone CR
    open(path, "wb").write(b"\n".join(rows))
with open(f"{folder}/batch.txt", "ab") as batch:
    batch.write(f"{folder}/missing.csv,1,Nobody,Nowhere,01/06/2026\r\n".encode())
EOF

# shellcheck disable=SC2086
"$old" NODIALOGS XFERFOLDER="$dir/old" QMRBATCHFILE="$dir/herds/batch.txt" ${OLD_KEYS:-} \
  >/dev/null 2>"$dir/old/stderr.txt" || true
# shellcheck disable=SC2086
"$new" NODIALOGS XFERFOLDER="$dir/new" QMRBATCHFILE="$dir/herds/batch.txt" ${NEW_KEYS:-} \
  >/dev/null 2>"$dir/new/stderr.txt" || true

status=0
files="QMRBATCH.REP TAMSLREP.CSV CONCEPS.CSV DbugQMR.TXT DbugQM1.TXT stderr.txt"
# With TRENDS in the keys of either run, its season rows too.
if [ -e "$dir/old/TRENDS.CSV" ] || [ -e "$dir/new/TRENDS.CSV" ]; then files="$files TRENDS.CSV"; fi
# With COWLISTS, the cow lists too.
if [ -e "$dir/old/COWS.CSV" ] || [ -e "$dir/new/COWS.CSV" ]; then files="$files COWS.CSV"; fi
for f in $files; do
  if [ ! -e "$dir/old/$f" ] && [ ! -e "$dir/new/$f" ]; then
    echo "same      $f (written by neither)"  # the traces under NOTRACE
  elif cmp -s "$dir/old/$f" "$dir/new/$f"; then
    echo "same      $f ($(wc -c <"$dir/old/$f") bytes)"
  else
    echo "DIFFERENT $f"
    status=1
  fi
done
exit $status
