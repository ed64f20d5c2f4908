#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS, PARALLEL at a time.
#   fuzz/run_all.sh SECONDS [PARALLEL] [TARGET...]     (default: 2 at a time, every target)
# Exits non-zero when a target finds a crash, a leak, undefined behaviour or a broken
# invariant; the input that did it is saved under $build/findings/<target>/ and named in the
# output. Corpora grow in $build/corpus/<target>/ and are reused by the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OVISTA_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:?usage: fuzz/run_all.sh SECONDS [PARALLEL] [TARGET...]}
parallel=${2:-2}
shift $(($# >= 2 ? 2 : 1))
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(herd_file csv_line summary_row herd_report dates_numbers report_pages benchmark herd_seasons)
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOVISTA_FUZZ=ON -DOVISTA_WITH_QT=OFF -DOVISTA_BENCH=OFF -DOVISTA_WERROR=ON >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"

# Longest input per target: whole herd files need room for long lines; a stored record is
# 2428 bytes and inputs must reach past it.
max_len() {
  case $1 in
    herd_file) echo 20000 ;;
    herd_seasons) echo 40000 ;;  # four years of a 55-cow herd, the least that gives seasons
    summary_row | benchmark) echo 8192 ;;
    herd_report) echo 4096 ;;
    report_pages) echo 16384 ;;  # the record, the offset byte and up to six earlier seasons
    dates_numbers) echo 128 ;;
    *) echo 4096 ;;
  esac
}

# Seeds: our hand-made corpus plus the sample herds of the tests and the examples.
seed_dirs() {
  local dirs=("$root/fuzz/corpus/$1")
  case $1 in
    herd_file | csv_line | herd_seasons)
      for d in "$root/tests/data/herd" "$root/examples"; do
        [ -d "$d" ] && dirs+=("$d")
      done
      ;;
  esac
  echo "${dirs[@]}"
}

run_one() {
  local name=$1
  local work=$build/corpus/$name findings=$build/findings/$name log=$build/logs/$name.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  # shellcheck disable=SC2046
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$(max_len "$name")" \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -dict="$root/fuzz/ovista.dict" \
    -artifact_prefix="$findings/" "$work" $(seed_dirs "$name") >"$log" 2>&1; then
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "fuzz_$name: ${runs:-?} runs in ${seconds}s, no finding"
    echo ok >"$build/logs/$name.status"
  else
    echo "fuzz_$name: FAILED (log $log)"
    grep -E "ERROR|check failed|runtime error|Test unit written" "$log" | head -20 || true
    echo failed >"$build/logs/$name.status"
  fi
}

# Each run leaves its verdict in a file: the exit status of a job reaped by "wait -n" is
# not reliably there for a later "wait".
mkdir -p "$build/logs"
for name in "${targets[@]}"; do rm -f "$build/logs/$name.status"; done
for name in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= parallel)); do
    wait -n || true
  done
  run_one "$name" &
done
wait
passed=0
failed=0
for name in "${targets[@]}"; do
  if [ "$(cat "$build/logs/$name.status" 2>/dev/null)" = ok ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
