#!/usr/bin/env bash
# Builds and runs the header benchmark and prints each operation's time against the replace
# run on the same 1,000 generated documents (bench/engine/gen_docs.py), in this one run.
#
#   bash bench/headers/run.sh
#
# Environment: BUILD_DIR (default build-bench, engine only), WORK (default /tmp/vm-bench),
# REPS (runs of each measurement, median reported; default 3), JOBS (build jobs, default 2).
# Target: header, watermark and clean each within 1.5x the replace run.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-bench}
WORK=${WORK:-/tmp/vm-bench}
REPS=${REPS:-3}
JOBS=${JOBS:-2}
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

cmake -S . -B "$BUILD_DIR" -G Ninja -DVM_ENGINE_ONLY=ON -DVM_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target vm_bench_headers >/dev/null
BENCH=$BUILD_DIR/bench/headers/vm_bench_headers

if [ ! -f "$WORK/gen.lst" ]; then
  mkdir -p "$WORK"
  "$PY" bench/engine/gen_docs.py set "$WORK/gen" 1000
  find "$WORK/gen" -name '*.docx' | sort > "$WORK/gen.lst"
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A wall
for mode in replace header watermark clean; do
  times=()
  for _ in $(seq "$REPS"); do
    rm -rf "$WORK/out-headers"
    line=$("$BENCH" --mode "$mode" --list "$WORK/gen.lst" --out "$WORK/out-headers" --label gen1000)
    times+=("$(sed -E 's/.*"wall_s":([0-9.]+).*/\1/' <<<"$line")")
  done
  wall[$mode]=$(printf '%s\n' "${times[@]}" | median)
done
printf '%-10s %9s %7s\n' operation wall_s ratio
for mode in replace header watermark clean; do
  printf '%-10s %9.3f %7.2f\n' "$mode" "${wall[$mode]}" "$(awk -v a="${wall[$mode]}" -v b="${wall[replace]}" 'BEGIN {print a / b}')"
done
