#!/usr/bin/python3
"""docxtpl filling the benchmark's template once per CSV row, as its documentation does it
(a template object per document), each saved as OUT/<f1>.docx.

    docxtpl_fill.py TEMPLATE ROWS.csv OUT
"""
import csv
import os
import sys

from docxtpl import DocxTemplate

template, rows, out = sys.argv[1:4]
os.makedirs(out, exist_ok=True)
with open(rows, encoding="utf-8") as f:
    for row in csv.DictReader(f):
        tpl = DocxTemplate(template)
        tpl.render(row)
        tpl.save(os.path.join(out, row["f1"] + ".docx"))
