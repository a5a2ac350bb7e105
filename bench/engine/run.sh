#!/usr/bin/env bash
# Builds and runs the engine benchmark and prints the table.
#
#   bash bench/engine/run.sh
#
# Environment:
#   BUILD_DIR  build folder (default build-bench; configured with -DVM_ENGINE_ONLY=ON)
#   WORK       data folder (default /tmp/vm-bench): generated documents, corpus copies, outputs
#   REPS       runs of each native measurement, median reported (default 3)
#   JOBS       build jobs (default 2)
#
# Measured, each in its own process, in this one run:
#   gen1000        1,000 generated documents of ~40 KB (bench/engine/gen_docs.py), replace
#                  "甲方" -> "委托方": the engine, the bare baseline, python-docx run by run;
#                  the engine again with 2 worker threads (different documents);
#   gen1000-tmpfs  the same with the outputs on tmpfs (no disk flush cost; the two-worker check
#                  is read here, since on disk the workers also wait for the flush);
#   corpus         every unflagged .docx/.docm/.dotx of ../shared/corpus (copied), replace "the";
#   big-text       a ~50 MB file of many paragraphs (its main part is ~225 MB of XML);
#   big-xml        a document whose main part is ~50 MB of XML (an ~11 MB file);
#   big-media      a ~50 MB file of pictures (noise PNGs, stored) and 40 paragraphs.
# Outputs are written under another name (saveAs), so the inputs stay as generated.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-build-bench}
WORK=${WORK:-/tmp/vm-bench}
REPS=${REPS:-3}
JOBS=${JOBS:-2}
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
HERE=$ROOT/bench/engine

echo "== build ($BUILD_DIR)"
cmake -S . -B "$BUILD_DIR" -G Ninja -DVM_ENGINE_ONLY=ON -DVM_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target vm_bench_engine vm_bench_baseline
ENGINE=$BUILD_DIR/bench/engine/vm_bench_engine
BASE=$BUILD_DIR/bench/engine/vm_bench_baseline

echo "== documents ($WORK)"
mkdir -p "$WORK"
stamp=$(sha1sum "$HERE/gen_docs.py" | cut -c1-12)
if [ "$(cat "$WORK/gen.stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$WORK/gen" "$WORK"/big-*.docx
  "$PY" "$HERE/gen_docs.py" set "$WORK/gen" 1000
  "$PY" "$HERE/gen_docs.py" big "$WORK/big-text.docx" 50 text
  "$PY" "$HERE/gen_docs.py" big "$WORK/big-media.docx" 50 media
  "$PY" "$HERE/gen_docs.py" big "$WORK/big-xml.docx" 50 xml
  echo "$stamp" >"$WORK/gen.stamp"
fi
ls "$WORK"/gen/*.docx >"$WORK/gen.lst"
echo "$WORK/big-text.docx" >"$WORK/big-text.lst"
echo "$WORK/big-media.docx" >"$WORK/big-media.lst"
echo "$WORK/big-xml.docx" >"$WORK/big-xml.lst"
rm -rf "$WORK/corpus" && mkdir -p "$WORK/corpus"
CORPUS=$ROOT/../shared/corpus
i=0
awk -F'\t' 'NR>1 && $8=="-" && tolower($1) ~ /\.(docx|docm|dotx)$/ {print $1}' "$CORPUS/MANIFEST.tsv" |
  while IFS= read -r f; do
    i=$((i + 1)); ext=${f##*.}
    cp "$CORPUS/$f" "$WORK/corpus/$(printf %03d $i).$ext"
  done
ls "$WORK"/corpus/* >"$WORK/corpus.lst"
printf '%s generated documents (%s MB), %s corpus documents (%s MB), big: %s\n' \
  "$(wc -l <"$WORK/gen.lst")" "$(du -sm "$WORK/gen" | cut -f1)" \
  "$(wc -l <"$WORK/corpus.lst")" "$(du -sm "$WORK/corpus" | cut -f1)" \
  "$(du -h "$WORK"/big-*.docx | tr '\n\t' '  ')"

RES=$WORK/results.jsonl
: >"$RES"
TMPFS=/dev/shm/vm-bench-out.$$
trap 'rm -rf "$TMPFS"' EXIT

# warm the page cache
cat "$WORK"/gen/*.docx "$WORK"/corpus/* "$WORK"/big-*.docx >/dev/null

measure() {  # label outdir tool-args...
  local label=$1 out=$2; shift 2
  rm -rf "$out"
  if ! "$@" --label "$label" --out "$out" >"$WORK/run.out" 2>"$WORK/run.err"; then
    echo "!! $label: $* failed:" >&2
    tail -5 "$WORK/run.err" >&2
  fi
  cat "$WORK/run.out" | tee -a "$RES"
  grep -v '^$' "$WORK/run.err" | head -3 >&2 || true
  rm -rf "$out"
}

echo "== runs (load before: $(cut -d' ' -f1-3 /proc/loadavg))"
for rep in $(seq "$REPS"); do
  measure gen1000 "$WORK/out" "$ENGINE" --list "$WORK/gen.lst"
  measure gen1000 "$WORK/out" "$BASE" --list "$WORK/gen.lst"
  measure gen1000 "$WORK/out" "$ENGINE" --list "$WORK/gen.lst" --threads 2
  measure gen1000 "$WORK/out" "$BASE" --list "$WORK/gen.lst" --threads 2
  measure gen1000-tmpfs "$TMPFS" "$ENGINE" --list "$WORK/gen.lst"
  measure gen1000-tmpfs "$TMPFS" "$BASE" --list "$WORK/gen.lst"
  measure gen1000-tmpfs "$TMPFS" "$ENGINE" --list "$WORK/gen.lst" --threads 2
  measure gen1000-tmpfs "$TMPFS" "$BASE" --list "$WORK/gen.lst" --threads 2
  measure corpus "$WORK/out" "$ENGINE" --list "$WORK/corpus.lst" --find the --repl THE
  measure corpus "$WORK/out" "$BASE" --list "$WORK/corpus.lst"
  measure big-text "$WORK/out" "$ENGINE" --list "$WORK/big-text.lst"
  measure big-text "$WORK/out" "$BASE" --list "$WORK/big-text.lst"
  measure big-media "$WORK/out" "$ENGINE" --list "$WORK/big-media.lst"
  measure big-media "$WORK/out" "$BASE" --list "$WORK/big-media.lst"
  measure big-xml "$WORK/out" "$ENGINE" --list "$WORK/big-xml.lst"
  measure big-xml "$WORK/out" "$BASE" --list "$WORK/big-xml.lst"
done
measure gen1000 "$WORK/out" "$PY" "$HERE/pydocx_replace.py" --list "$WORK/gen.lst"
measure gen1000-tmpfs "$TMPFS" "$PY" "$HERE/pydocx_replace.py" --list "$WORK/gen.lst"
measure corpus "$WORK/out" "$PY" "$HERE/pydocx_replace.py" --list "$WORK/corpus.lst" --find the --repl THE
echo "== (load after: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores)"
echo
"$PY" "$HERE/table.py" "$RES"
