#!/usr/bin/env bash
# Builds the docx fuzzer (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs it on one core.
#
#   bash fuzz/docx/run.sh [SECONDS]        (default 600)
#
# Environment: BUILD_DIR (default build-fuzz), WORK (default /tmp/vm-fuzz): the working corpus
# (kept between runs), the seeds (small documents from make_seeds.py and a few corpus .docx,
# copied at run time, never committed) and the artifacts (crashing inputs).
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
SECONDS_TO_RUN=${1:-600}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
WORK=${WORK:-/tmp/vm-fuzz}
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVM_ENGINE_ONLY=ON -DVM_FUZZ=ON -DVM_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-2}" --target vm_fuzz_docx

mkdir -p "$WORK/corpus" "$WORK/artifacts"
rm -rf "$WORK/seeds" && mkdir -p "$WORK/seeds"
"$PY" fuzz/docx/make_seeds.py "$WORK/seeds"
CORPUS=$ROOT/../shared/corpus
for f in apache-poi/test-data/document/comment.docx \
         apache-poi/test-data/document/Bug66988.docx \
         apache-poi/test-data/document/Bug60341.docx \
         python-docx/features/steps/test_files/par-hyperlinks.docx \
         python-docx/features/steps/test_files/tbl-2x2-table.docx \
         pandoc/test/docx/track_changes_move.docx \
         pandoc/test/docx/sdt_elements.docx \
         pandoc/test/docx/unicode.docx \
         pandoc/test/command/7691.docx; do
  [ -f "$CORPUS/$f" ] && cp "$CORPUS/$f" "$WORK/seeds/corpus_$(basename "$f")"
done

# The target's scratch folder (on tmpfs: the engine flushes each save); libFuzzer exits without
# running destructors, so it is removed here.
VM_FUZZ_TMP=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )/vm-fuzz-run.XXXXXX")
export VM_FUZZ_TMP
trap 'rm -rf "$VM_FUZZ_TMP"' EXIT

echo "fuzzing for $SECONDS_TO_RUN s; seeds $(ls "$WORK/seeds" | wc -l), corpus $(ls "$WORK/corpus" | wc -l) inputs"
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
"$BUILD_DIR/fuzz/docx/vm_fuzz_docx" \
  -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 -timeout=25 -max_len=131072 \
  -dict=fuzz/docx/docx.dict -artifact_prefix="$WORK/artifacts/" -print_final_stats=1 \
  "$WORK/corpus" "$WORK/seeds"
