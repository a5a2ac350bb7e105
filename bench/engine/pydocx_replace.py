#!/usr/bin/env python3
"""python-docx doing the benchmark's replacement run by run (the usual python-docx recipe).

  pydocx_replace.py --list FILES.txt --out DIR [--find 甲方 --repl 委托方] [--label L]

For each document: open it, walk the main text's paragraphs (the body's, and those of every
table cell, nested tables included), replace the find text inside each run's text, save the
document under DIR. Matches that span runs are not found (python-docx has no such search);
the generated documents hold the find text inside single runs only. Prints one JSON line with
the same fields as vm_bench_engine. Run it with Debian's python3 (python3-docx).
"""

import argparse
import json
import os
import resource
import sys
import time

import docx
from docx.package import Package


def load(path):
    try:
        return docx.Document(path)
    except ValueError as e:
        # python-docx refuses .docm/.dotx by content type only; open the package directly.
        if "is not a Word file" not in str(e):
            raise
        return Package.open(path).main_document_part.document


def paragraphs(container):
    for p in container.paragraphs:
        yield p
    for t in container.tables:
        for row in t.rows:
            for cell in row.cells:
                yield from paragraphs(cell)


def replace(path, out, find, repl):
    doc = load(path)
    n = 0
    for p in paragraphs(doc):
        for run in p.runs:
            text = run.text
            if find in text:
                n += text.count(find)
                run.text = text.replace(find, repl)
    doc.save(out)
    return n


def rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGESIZE") // 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--find", default="甲方")
    ap.add_argument("--repl", default="委托方")
    ap.add_argument("--label", default="run")
    ap.add_argument("--rss-at", type=int, default=100)
    a = ap.parse_args()
    docs = [l.rstrip("\n") for l in open(a.list, encoding="utf-8") if l.strip()]
    os.makedirs(a.out, exist_ok=True)
    total = sum(os.path.getsize(d) for d in docs)
    replacements = errors = 0
    rss_at = maxrss_at = 0
    rss_start = rss_kb()
    cpu0 = time.process_time()
    t0 = time.perf_counter()
    for i, d in enumerate(docs):
        out = os.path.join(a.out, "%05d%s" % (i, os.path.splitext(d)[1]))
        try:
            replacements += replace(d, out, a.find, a.repl)
        except Exception as e:  # a document python-docx cannot handle
            errors += 1
            if errors <= 5:
                print("pydocx: %s: %s: %s" % (d, type(e).__name__, e), file=sys.stderr)
        if i + 1 == a.rss_at:
            rss_at = rss_kb()
            maxrss_at = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    wall = time.perf_counter() - t0
    cpu = time.process_time() - cpu0
    print(json.dumps({"tool": "python-docx", "label": a.label, "threads": 1, "docs": len(docs), "bytes": total,
                      "wall_s": round(wall, 4), "cpu_s": round(cpu, 4), "replacements": replacements,
                      "errors": errors, "peak_rss_kb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss,
                      "rss_kb_start": rss_start, "rss_at": a.rss_at, "rss_kb_at": rss_at,
                      "maxrss_kb_at": maxrss_at, "rss_kb_end": rss_kb()}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
