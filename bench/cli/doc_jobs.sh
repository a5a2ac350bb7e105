#!/usr/bin/env bash
# vellumark-cli replace over the corpus's .doc files through the office, with one office and
# with two (--jobs 1 / 2), each on fresh copies; prints wall time, how many documents were
# changed, failed or refused, and the load at the start. Both start with the offices' profiles
# made (a first run makes them).
#
#   bash bench/cli/doc_jobs.sh        (BUILD_DIR: a build with the office back end, default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
CLI=${CLI:-$ROOT/${BUILD_DIR:-build}/src/vellumark-cli}
CORPUS=${VM_CORPUS_DIR:-$ROOT/../shared/corpus}
WORK=${WORK:-/var/tmp/vm-bench-docjobs}
rm -rf "$WORK" && mkdir -p "$WORK/src" "$WORK/home"
n=0
while IFS= read -r -d '' f; do
  n=$((n + 1)); cp "$f" "$WORK/src/$(printf '%03d' $n)-$(basename "$f")"
done < <(find "$CORPUS" -name '*.doc' -type f -print0 | sort -z)
printf 'the\tTHE\n的\t之\n' >"$WORK/rules.txt"
printf '[run]\nkeep=0\n' >"$WORK/home/config.ini"
run() {  # jobs
  local dir=$WORK/j$1
  rm -rf "$dir" && cp -r "$WORK/src" "$dir"
  local t0=$(date +%s%N)
  "$CLI" --home "$WORK/home" --json --yes --jobs "$1" --suffix doc replace --rules "$WORK/rules.txt" "$dir" >"$WORK/j$1.json" 2>/dev/null || true
  local secs=$(awk -v a="$t0" -v b="$(date +%s%N)" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
  local ok=$(grep -c '"ok":true' "$WORK/j$1.json" || true) bad=$(grep -c '"ok":false' "$WORK/j$1.json" || true)
  echo "$secs $ok $bad"
}
# The offices' profiles are made once, as for a user after the first run: not timed.
first=("$WORK"/src/*.doc)
mkdir -p "$WORK/warm" && cp "${first[@]:0:6}" "$WORK/warm/"
"$CLI" --home "$WORK/home" --yes --jobs 2 --suffix doc replace --rules "$WORK/rules.txt" "$WORK/warm" >/dev/null 2>&1 || true
echo "$n .doc files from the corpus; load $(cut -d' ' -f1-3 /proc/loadavg)"
read -r one ok1 bad1 < <(run 1)
read -r two ok2 bad2 < <(run 2)
printf 'one office  %6.2f s  (%s done, %s failed)\n' "$one" "$ok1" "$bad1"
printf 'two offices %6.2f s  (%s done, %s failed)   %.2fx\n' "$two" "$ok2" "$bad2" "$(awk -v a="$one" -v b="$two" 'BEGIN { print a / b }')"
