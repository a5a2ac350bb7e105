#!/usr/bin/python3
"""Merges the documents into one with docxcompose (the comparison of bench/merge/run.sh):
target first, then each document after a page break, as vellumark-cli merge --page-break."""
import sys
from docx import Document
from docxcompose.composer import Composer

target, out, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
master = Document(target)
composer = Composer(master)
failed = 0
for i, path in enumerate(sources):
    try:
        doc = Document(path)
        if i + 1 < len(sources):
            doc.add_page_break()
        composer.append(doc)
    except Exception as e:  # docxcompose gives up on some documents: left out, counted
        failed += 1
        print(f"docxcompose left out {path}: {type(e).__name__} {e}", file=sys.stderr)
composer.save(out)
print(f"docxcompose left out {failed} of {len(sources)}", file=sys.stderr)
