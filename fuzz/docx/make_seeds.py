#!/usr/bin/env python3
"""Writes the fuzzer's seed documents: small packages with the constructs the engine handles.

  make_seeds.py OUTDIR

Entries are stored (not deflated) so that byte mutations reach the XML. Reproducible.
"""

import os
import sys
import zipfile

W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
NS = (f'xmlns:w="{W}" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" '
      'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture" '
      'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
      'xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" '
      'xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape" '
      'xmlns:v="urn:schemas-microsoft-com:vml" mc:Ignorable="w14"')
DOC_CT = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def r(text, rpr=""):
    return f'<w:r>{"<w:rPr>" + rpr + "</w:rPr>" if rpr else ""}<w:t xml:space="preserve">{text}</w:t></w:r>'


def p(inner, ppr=""):
    return f'<w:p>{"<w:pPr>" + ppr + "</w:pPr>" if ppr else ""}{inner}</w:p>'


BODIES = {
    "plain": p(r("the quick brown fox")) + p(r("The end") + r(" of the text")),
    "split_runs": p(r("th", "<w:b/>") + r("e cat", "<w:i/>") + r("e") + r("dge")),
    "caps": p(r("THE CAPITAL") + r("The Initial") + r("tHe mixed", "<w:caps/>")),
    "tabs_breaks": p(r("a") + "<w:r><w:tab/><w:t>b</w:t><w:br/><w:t>the</w:t><w:br w:type=\"page\"/><w:cr/></w:r>") +
                   p(r("a")) + p(r("b")),
    "hyperlink": p('<w:hyperlink r:id="rIdLink"><w:r><w:t>th</w:t></w:r></w:hyperlink>' + r("e site")),
    "fields": p('<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> HYPERLINK "the" </w:instrText></w:r>'
                '<w:r><w:fldChar w:fldCharType="separate"/></w:r>' + r("the result") + '<w:r><w:fldChar w:fldCharType="end"/></w:r>') +
              p('<w:fldSimple w:instr=" PAGE "><w:r><w:t>the 1</w:t></w:r></w:fldSimple>'),
    "tracked": p('<w:del w:id="1" w:author="x"><w:r><w:delText>the deleted</w:delText></w:r></w:del>'
                 '<w:ins w:id="2" w:author="x"><w:r><w:t>the inserted</w:t></w:r></w:ins>'
                 '<w:moveFrom w:id="3" w:author="x"><w:r><w:t>moved the</w:t></w:r></w:moveFrom>'),
    "sdt_smarttag": p('<w:sdt><w:sdtPr/><w:sdtContent><w:r><w:t>th</w:t></w:r></w:sdtContent></w:sdt>'
                      '<w:smartTag w:uri="u" w:element="e"><w:r><w:t>e tag</w:t></w:r></w:smartTag>') +
                    '<w:sdt><w:sdtContent>' + p(r("block the sdt")) + '</w:sdtContent></w:sdt>',
    "table": '<w:tbl><w:tblPr/><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid><w:tr><w:tc>' + p(r("the cell a")) +
             '</w:tc><w:tc>' + p(r("b")) + '<w:tbl><w:tr><w:tc>' + p(r("nested the")) + '</w:tc></w:tr></w:tbl>' + p("") +
             '</w:tc></w:tr></w:tbl>' + p(r("after")),
    "textbox": p('<w:r><mc:AlternateContent><mc:Choice Requires="wps"><w:drawing><wp:anchor><wp:docPr id="1" name="t"/>'
                 '<a:graphic><a:graphicData uri="x"><wps:wsp><wps:txbx><w:txbxContent>' + p(r("the box")) +
                 '</w:txbxContent></wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></mc:Choice>'
                 '<mc:Fallback><w:pict><v:shape><v:textbox><w:txbxContent>' + p(r("the box")) +
                 '</w:txbxContent></v:textbox></v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r>' + r("the text")),
    "entities": p(r("the &amp; &lt;tag&gt; &#x4E2D;&#25991; &#x1F600; e\u00e9\u0130\u03a3\uff41")),
    "cjk": p(r("甲方与乙方的合同，the ＴＨＥ ｔｈｅ", '<w:rFonts w:eastAsia="宋体"/>')),
    "empty": "",
    "sectpr": p(r("the")) + '<w:sectPr><w:headerReference w:type="default" r:id="rIdHdr"/></w:sectPr>',
    "footnote": p(r("the") + '<w:r><w:footnoteReference w:id="1"/></w:r>' + r("e")),
    "inline_picture": p(r("the") + '<w:r><w:drawing><wp:inline><wp:extent cx="9525" cy="9525"/><wp:docPr id="7" name="p"/>'
                        '<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic>'
                        '<pic:blipFill><a:blip r:embed="rIdImg"/></pic:blipFill></pic:pic></a:graphicData></a:graphic>'
                        '</wp:inline></w:drawing></w:r>' + r("e")),
}

PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000004000000020802000000f0caea340000001f49444154"
                    "78da05c1010100000883308219 8c600f412c37a023690476a6cd1e77a20af1c1ededcb0000000049454e44ae426082".replace(" ", ""))


def package(body, main="word/document.xml", strict=False, bom=False):
    main_dir = main.rsplit("/", 1)[0]
    main_file = main.rsplit("/", 1)[1]
    off_rel = ("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument" if strict
               else f"{R}/officeDocument")
    ns = NS.replace(W, "http://purl.oclc.org/ooxml/wordprocessingml/main") if strict else NS
    doc = f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<w:document {ns}><w:body>{body}</w:body></w:document>'
    data = doc.encode("utf-8")
    if bom:
        data = b"\xef\xbb\xbf" + data
    parts = [
        ("[Content_Types].xml",
         '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
         '<Default Extension="xml" ContentType="application/xml"/><Default Extension="png" ContentType="image/png"/>'
         f'<Override PartName="/{main}" ContentType="{DOC_CT}"/>'
         f'<Override PartName="/{main_dir}/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/>'
         '</Types>'),
        ("_rels/.rels",
         '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
         f'<Relationship Id="rId1" Type="{off_rel}" Target="{main}"/></Relationships>'),
        (main, data),
        (f"{main_dir}/_rels/{main_file}.rels",
         '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
         f'<Relationship Id="rIdHdr" Type="{R}/header" Target="header1.xml"/>'
         f'<Relationship Id="rIdImg" Type="{R}/image" Target="media/image1.png"/>'
         f'<Relationship Id="rIdLink" Type="{R}/hyperlink" Target="http://example.com/the" TargetMode="External"/>'
         '</Relationships>'),
        (f"{main_dir}/header1.xml", f'<?xml version="1.0" encoding="UTF-8"?><w:hdr {NS}>{p(r("the header"))}</w:hdr>'),
        (f"{main_dir}/media/image1.png", PNG),
    ]
    return parts


def write(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name, data in parts:
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), data.encode() if isinstance(data, str) else data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, body in BODIES.items():
        write(os.path.join(out, f"seed_{name}.docx"), package(body))
    write(os.path.join(out, "seed_all.docx"), package("".join(BODIES.values())))
    write(os.path.join(out, "seed_main_elsewhere.docx"), package(BODIES["plain"], main="doc/main2.xml"))
    write(os.path.join(out, "seed_strict.docx"), package(BODIES["split_runs"], strict=True))
    write(os.path.join(out, "seed_bom.docx"), package(BODIES["entities"], bom=True))
    return 0


if __name__ == "__main__":
    sys.exit(main())
