#!/usr/bin/env bash
# Builds and runs the rename benchmark over the engine benchmark's 1,000 generated documents.
#
#   bash bench/rename/run.sh
#
# Environment: BUILD_DIR (default build-bench-rename), WORK (default /tmp/vm-bench-rename),
# JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-bench-rename}
WORK=${WORK:-/tmp/vm-bench-rename}
JOBS=${JOBS:-2}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target bench_rename
mkdir -p "$WORK"
if [ ! -f "$WORK/gen/gen0999.docx" ]; then
  rm -rf "$WORK/gen"
  python3 bench/engine/gen_docs.py set "$WORK/gen" 1000
fi
ls "$WORK"/gen/*.docx >"$WORK/gen.lst"
cat "$WORK"/gen/*.docx >/dev/null  # warm the page cache
echo "== $(wc -l <"$WORK/gen.lst") documents, $(du -sm "$WORK/gen" | cut -f1) MB; load $(cut -d' ' -f1-3 /proc/loadavg)"
"$BUILD_DIR/bench/rename/bench_rename" --list "$WORK/gen.lst" --out "$WORK/out"
rm -rf "$WORK/out"
