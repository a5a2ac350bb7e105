#!/usr/bin/python3
"""Inputs of the generation benchmark: a template of about 40 KB with ten placeholders
({{ f1 }} .. {{ f10 }}, each in one run, as docxtpl needs them), a CSV of ROWS rows of ten
columns, and the replace rules that turn each placeholder into its column.

    make_inputs.py DIR ROWS
"""
import csv
import os
import sys

from docx import Document

out, rows = sys.argv[1], int(sys.argv[2])
os.makedirs(out, exist_ok=True)

doc = Document()
doc.add_heading("付款通知书 {{ f1 }}", 1)
filler = "本合同由双方友好协商订立，甲方委托乙方完成下列事项，双方应当按照约定全面履行各自的义务。"
para = 0
while True:
    para += 1
    p = doc.add_paragraph(filler * 3)
    if para % 12 == 0 and para // 12 <= 9:
        p.add_run("  {{ f%d }}" % (para // 12 + 1))
    doc.save(os.path.join(out, "template.docx"))
    if os.path.getsize(os.path.join(out, "template.docx")) >= 40 * 1024 and para // 12 >= 9:
        break

with open(os.path.join(out, "data.csv"), "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f)
    w.writerow(["f%d" % i for i in range(1, 11)])
    for r in range(rows):
        w.writerow(["客户%04d" % r] + ["值%d-%d" % (r, c) for c in range(2, 11)])

with open(os.path.join(out, "rules.txt"), "w", encoding="utf-8") as f:
    for i in range(1, 11):
        f.write("{{ f%d }}\t$[WDCon_%d]$\n" % (i, i))
