#!/usr/bin/env bash
# Splitting a 100-page document into single pages with vellumark-cli (warm page cache, the
# office started by the run itself): wall time and peak memory of the whole command, and the
# pages of the first and last part. Run by hand:
#
#   bash bench/split/run.sh
#
# Environment: BUILD_DIR (default build-bench-split; an existing build with the office back end
# will do), WORK (default /tmp/vm-bench-split), PAGES (default 100), PER (pages per part, 1).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-bench-split}
WORK=${WORK:-/tmp/vm-bench-split}
PAGES=${PAGES:-100}
PER=${PER:-1}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target vellumark-cli
rm -rf "$WORK" && mkdir -p "$WORK/out" "$WORK/home"
python3 bench/split/gen_pages.py "$WORK/long.docx" "$PAGES"
echo "== $PAGES pages into parts of $PER; load $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/time -f '{"wall_s":%e,"peak_rss_kb":%M}' -o "$WORK/time.json" \
  "$BUILD_DIR/src/vellumark-cli" --home "$WORK/home" --yes split --out "$WORK/out" --pages "$PER" "$WORK/long.docx" \
  >"$WORK/summary.txt"
cat "$WORK/time.json"
echo "parts: $(ls "$WORK/out" | wc -l)"
# The office and its children are not in the peak above; the part count and one rendering check
# that the run did the work.
"$BUILD_DIR/src/vellumark-cli" --home "$WORK/home" info "$WORK/out/long_1.docx" "$WORK/out/long_$(( (PAGES + PER - 1) / PER )).docx" |
  grep -E '^(/|.*页)' || true
