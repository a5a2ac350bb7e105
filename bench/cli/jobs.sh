#!/usr/bin/env bash
# vellumark-cli replace over the 1,000 generated documents of the engine benchmark, with one
# worker and with two, on tmpfs (/dev/shm) and on disk (WORK), each on fresh copies; checks
# that both give the same bytes, and times python-docx run by run on the same documents. On disk
# it also runs with every file flushed on its own (VELLUMARK_FLUSH_EACH=1), against the default
# of one flush for a group of saves.
#
#   bash bench/cli/jobs.sh            (BUILD_DIR: a build with vellumark-cli, default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
CLI=${CLI:-$ROOT/${BUILD_DIR:-build}/src/vellumark-cli}
WORK=${WORK:-/var/tmp/vm-bench-jobs}
SHM=/dev/shm/vm-bench-jobs
PY=/usr/bin/python3
export VELLUMARK_NO_OFFICE=1
mkdir -p "$WORK"
[ -d "$WORK/gen" ] || "$PY" bench/engine/gen_docs.py set "$WORK/gen" 1000
printf '甲方\t委托方\n' >"$WORK/rules.txt"

# The undo journal is on by default; a second data folder has it off ([run] keep=0).
mkdir -p "$WORK/home-nojournal" && printf '[run]\nkeep=0\n' >"$WORK/home-nojournal/config.ini"

run() {  # where jobs [home] [VAR=value]
  local dir=$1/j$2${3:+-nj}${4:+-env}
  rm -rf "$dir" && cp -r "$WORK/gen" "$dir" && sync
  local t0=$(date +%s%N)
  env ${4:-} "$CLI" --home "${3:-$WORK/home}" --yes --jobs "$2" --suffix docx replace --rules "$WORK/rules.txt" "$dir" >/dev/null 2>&1
  awk -v a="$t0" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}
for place in "$SHM" "$WORK"; do
  mkdir -p "$place"
  one=$(run "$place" 1)
  two=$(run "$place" 2)
  same=$(diff -rq "$place/j1" "$place/j2" >/dev/null && echo identical || echo DIFFERENT)
  printf '%-28s 1 worker %6.2f s   2 workers %6.2f s   %.2fx   outputs %s\n' "$place" "$one" "$two" \
    "$(awk -v a="$one" -v b="$two" 'BEGIN { print a / b }')" "$same"
  plain=$(run "$place" 1 "$WORK/home-nojournal")
  printf '%-28s 1 worker without the undo journal %6.2f s (journal costs %.2fx)\n' "$place" "$plain" \
    "$(awk -v a="$one" -v b="$plain" 'BEGIN { print a / b }')"
  if [ "$place" = "$WORK" ]; then
    e1=$(run "$place" 1 "" VELLUMARK_FLUSH_EACH=1)
    e2=$(run "$place" 2 "" VELLUMARK_FLUSH_EACH=1)
    printf '%-28s each file flushed on its own: 1 worker %6.2f s   2 workers %6.2f s   (grouped flush %.2fx / %.2fx faster)\n' \
      "$place" "$e1" "$e2" "$(awk -v a="$e1" -v b="$one" 'BEGIN { print a / b }')" "$(awk -v a="$e2" -v b="$two" 'BEGIN { print a / b }')"
  fi
done
ls "$WORK"/gen/*.docx >"$WORK/gen.lst"
rm -rf "$SHM/py" && mkdir -p "$SHM/py"
t0=$(date +%s%N)
"$PY" bench/engine/pydocx_replace.py --list "$WORK/gen.lst" --out "$SHM/py" >/dev/null
py=$(awk -v a="$t0" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
printf 'python-docx run by run on tmpfs: %.2f s\n' "$py"
rm -rf "$SHM"
