#!/usr/bin/env bash
# Builds and runs the conversion benchmarks and prints their figures.
#
#   bash bench/conv/run.sh
#
# Environment:
#   BUILD_DIR  build folder (default build-bench-conv; the engine with the office back end)
#   WORK       data folder (default /tmp/vm-bench-conv)
#   DOCS       corpus documents converted per format (default 100)
#   FORMATS    formats (default "doc rtf txt unicode html pdf")
#   JOBS       build jobs (default 2)
#   SKIP_CHINESE=1  only the conversions
#
# Measured in this one run:
#   chinese    the 1,000 generated documents of the engine benchmark (bench/engine/gen_docs.py):
#              Simplified to Traditional (s2t, every story) against the replace run
#              ("甲方" -> "委托方") on the same documents; the target is within 2x; then their
#              text alone through the converter and through the opencc command (same output);
#   convert    DOCS unflagged corpus documents (.doc and .docx) to each format: the engine with
#              one warm office, against `soffice --headless --convert-to` once per file and once
#              for all files, on the same files.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-build-bench-conv}
WORK=${WORK:-/tmp/vm-bench-conv}
DOCS=${DOCS:-100}
FORMATS=${FORMATS:-"doc rtf txt unicode html pdf"}
JOBS=${JOBS:-2}
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

echo "== build ($BUILD_DIR)"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVM_ENGINE_ONLY=ON -DVM_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target vm_bench_engine vm_bench_chinese vm_bench_convert
B=$BUILD_DIR/bench

mkdir -p "$WORK"
if [ ! -f "$WORK/gen/0999.docx" ] && [ "$(ls "$WORK"/gen/*.docx 2>/dev/null | wc -l)" -lt 1000 ]; then
  rm -rf "$WORK/gen"
  "$PY" bench/engine/gen_docs.py set "$WORK/gen" 1000
fi
ls "$WORK"/gen/*.docx >"$WORK/gen.lst"

if [ "${SKIP_CHINESE:-0}" != 1 ]; then
echo "== chinese: 1,000 generated documents"
rm -rf "$WORK/out-replace" "$WORK/out-chinese"
"$B/engine/vm_bench_engine" --list "$WORK/gen.lst" --out "$WORK/out-replace" --label replace | tee "$WORK/replace.json"
"$B/conv/vm_bench_chinese" --list "$WORK/gen.lst" --out "$WORK/out-chinese" --label chinese | tee "$WORK/chinese.json"
"$PY" - "$WORK/replace.json" "$WORK/chinese.json" <<'PYEOF'
import json, sys
r = json.load(open(sys.argv[1])); c = json.load(open(sys.argv[2]))
print(f"replace {r['wall_s']:.2f} s, chinese {c['wall_s']:.2f} s: {c['wall_s'] / r['wall_s']:.2f}x (target <= 2x), "
      f"{c['replacements']} pieces converted, errors {r['errors']}/{c['errors']}")
PYEOF
echo "== chinese: the same documents' text, the converter alone against the opencc command"
"$PY" - "$WORK/gen.lst" "$WORK/gen-text.txt" <<'PYEOF'
import re, sys, zipfile
with open(sys.argv[2], 'w', encoding='utf-8') as out:
    for name in open(sys.argv[1], encoding='utf-8').read().split():
        z = zipfile.ZipFile(name)
        for part in z.namelist():
            if part.startswith('word/') and part.endswith('.xml'):
                for para in re.findall(r'<w:p[ >].*?</w:p>', z.read(part).decode('utf-8'), re.S):
                    text = ''.join(re.findall(r'<w:t[^>]*>([^<]*)', para))
                    if text: out.write(text + '\n')
PYEOF
ours=$("$B/conv/vm_bench_chinese" --text "$WORK/gen-text.txt" "$WORK/gen-text.ours")
/usr/bin/time -f '%e %U %S' -o "$WORK/opencc.time" opencc -c s2t.json -i "$WORK/gen-text.txt" -o "$WORK/gen-text.opencc"
same=$(cmp -s "$WORK/gen-text.ours" "$WORK/gen-text.opencc" && echo identical || echo DIFFERENT)
"$PY" - "$ours" "$(cat "$WORK/opencc.time")" "$(wc -c <"$WORK/gen-text.txt")" "$same" <<'PYEOF'
import json, sys
o = json.loads(sys.argv[1]); wall, user, system = map(float, sys.argv[2].split())
print(f"{int(sys.argv[3]) / 1e6:.1f} MB of text: ours {o['wall_s']:.2f} s ({o['cpu_s']:.2f} s CPU), "
      f"opencc command {wall:.2f} s ({user + system:.2f} s CPU); outputs {sys.argv[4]}")
PYEOF
fi

echo "== convert: $DOCS corpus documents"
CORPUS=$ROOT/../shared/corpus
rm -rf "$WORK/corpus" && mkdir -p "$WORK/corpus"
awk -F'\t' 'NR>1 && $8=="-" && tolower($1) ~ /\.(doc|docx)$/ {print $1}' "$CORPUS/MANIFEST.tsv" | head -n "$DOCS" |
  { i=0; while IFS= read -r f; do i=$((i + 1)); cp "$CORPUS/$f" "$WORK/corpus/$(printf %03d "$i").${f##*.}"; done; }
ls "$WORK"/corpus/* >"$WORK/corpus.lst"
n=$(wc -l <"$WORK/corpus.lst")
for fmt in $FORMATS; do
  case $fmt in
    doc) target=doc ;; rtf) target=rtf ;; txt) target='txt:Text (encoded):UTF8' ;;
    unicode) target='txt:Text (encoded):UNICODE' ;; html) target=html ;; pdf) target=pdf ;;
  esac
  rm -rf "$WORK/out-$fmt" "$WORK/so-each-$fmt" "$WORK/so-all-$fmt"
  engine=$("$B/conv/vm_bench_convert" --list "$WORK/corpus.lst" --out "$WORK/out-$fmt" --format "$fmt" --data "$WORK/home" |
    "$PY" -c 'import json,sys; j=json.load(sys.stdin); print("%.1f %d" % (j["wall_s"], j["errors"]))')
  profile="file://$WORK/so-profile"
  t0=$(date +%s.%N)
  while IFS= read -r f; do
    soffice -env:UserInstallation="$profile" --headless --convert-to "$target" --outdir "$WORK/so-each-$fmt" "$f" >/dev/null 2>&1 || true
  done <"$WORK/corpus.lst"
  t1=$(date +%s.%N)
  xargs -d '\n' soffice -env:UserInstallation="$profile" --headless --convert-to "$target" --outdir "$WORK/so-all-$fmt" \
    <"$WORK/corpus.lst" >/dev/null 2>&1 || true
  t2=$(date +%s.%N)
  each=$(ls "$WORK/so-each-$fmt" 2>/dev/null | wc -l); all=$(ls "$WORK/so-all-$fmt" 2>/dev/null | wc -l)
  printf '%-8s %3d docs  engine %6.1f s (errors %s)  soffice per file %6.1f s (%d written)  soffice all at once %6.1f s (%d written)\n' \
    "$fmt" "$n" ${engine% *} "${engine#* }" "$("$PY" -c "print($t1 - $t0)")" "$each" "$("$PY" -c "print($t2 - $t1)")" "$all"
done
