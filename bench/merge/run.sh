#!/bin/bash
# Merging corpus .docx files: vellumark-cli merge (native) into one document and into groups of
# 10, against docxcompose into one; then what LibreOffice reads in both single results.
#   bash bench/merge/run.sh [BUILD_DIR] [COUNT]   (default build-merge, 100; by hand, not in CI)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
count=${2:-100}
corpus=${VM_CORPUS_DIR:-$here/../../../shared/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli="$build/src/vellumark-cli"

# Sound .docx of the corpus, repeated in manifest order until there are COUNT.
mapfile -t pool < <(awk -F'\t' 'NR>1 && $6=="docx" && $8=="-" && $1 ~ /\.docx$/ {print $1}' "$corpus/MANIFEST.tsv")
mkdir -p "$work/in"
docs=()
for ((i = 0; i < count; i++)); do
  f="$work/in/$(printf %03d $i).docx"
  cp "$corpus/${pool[$((i % ${#pool[@]}))]}" "$f"
  docs+=("$f")
done
/usr/bin/python3 -c 'import docx; d = docx.Document(); d.add_paragraph(""); d.save("'"$work"'/empty.docx")'

measure() {  # label, command...: wall seconds and peak memory
  local label=$1; shift
  /usr/bin/time -f "$label: %e s, %M KB peak" "$@" > "$work/$label.log" 2>"$work/$label.err" || {
    echo "$label failed:"; tail -5 "$work/$label.err"; return 0; }
  tail -1 "$work/$label.err"
}

cp "$work/empty.docx" "$work/one.docx"
measure vellumark-one "$cli" --home "$work/home" --yes merge --target "$work/one.docx" --page-break "${docs[@]}"
cp "$work/empty.docx" "$work/group.docx"
measure vellumark-per10 "$cli" --home "$work/home" --yes merge --target "$work/group.docx" --per 10 --page-break "${docs[@]}"
measure docxcompose-one /usr/bin/python3 "$here/docxcompose_merge.py" "$work/empty.docx" "$work/dc.docx" "${docs[@]}"
grep -h "left out [0-9]" "$work/docxcompose-one.err" || true
ls -l "$work"/one.docx "$work"/dc.docx 2>/dev/null | awk '{print $5, $9}' || true

# What LibreOffice reads in each single result (VM_BENCH_NO_OFFICE=1 skips it).
[ -n "${VM_BENCH_NO_OFFICE:-}" ] && exit 0
for out in one dc; do
  [ -f "$work/$out.docx" ] || continue
  (cd "$work" && timeout 600 soffice -env:UserInstallation=file://$work/lo --headless --convert-to fodt "$out.docx" >/dev/null 2>&1 &&
   timeout 600 soffice -env:UserInstallation=file://$work/lo --headless --convert-to "txt:Text (encoded):UTF8" "$out.docx" >/dev/null 2>&1) || true
  if [ -f "$work/$out.fodt" ]; then
    echo "$out: $(/usr/bin/python3 "$here/compare.py" "$work/$out.fodt" "$work/$out.txt" "${docs[@]}")"
  else
    echo "$out: LibreOffice could not read it"
  fi
done
