#!/usr/bin/python3
"""What LibreOffice reads in a merged document: text paragraphs of the sources found in order,
pictures, tables and numbered list items. Usage: compare.py MERGED.fodt MERGED.txt SOURCE.docx..."""
import re, sys
import xml.etree.ElementTree as ET
import docx

fodt, txt, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
NS = {'draw': 'urn:oasis:names:tc:opendocument:xmlns:drawing:1.0',
      'table': 'urn:oasis:names:tc:opendocument:xmlns:table:1.0',
      'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0'}
root = ET.parse(fodt).getroot()
images = len(root.findall('.//draw:image', NS))
tables = len(root.findall('.//table:table', NS))
items = len(root.findall('.//text:list-item', NS))
lines = [l.strip() for l in open(txt, encoding='utf-8-sig', errors='replace')]
text = '\n'.join(lines)
numbered = sum(1 for l in lines if re.match(r'^(\d+[.)]|[a-zA-Z][.)]|[ivxIVX]+[.)])\s', l))
found = total = 0
pos = 0
for s in sources:
    for p in docx.Document(s).paragraphs:
        t = p.text.strip()
        if len(t) < 4:
            continue
        total += 1
        at = text.find(t, pos)
        if at >= 0:
            found += 1
            pos = at + len(t)
print(f"text-in-order {found}/{total} pictures {images} tables {tables} list-items {items} numbered-lines {numbered}")
