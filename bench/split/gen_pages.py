#!/usr/bin/env python3
"""A .docx of N pages (a page break between them), each with a heading line and some Chinese
text, under one header and footer: the input of the split benchmark.

    python3 gen_pages.py OUT.docx N
"""
import sys
import zipfile

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'


def para(text, page_break=False):
    br = '<w:r><w:br w:type="page"/></w:r>' if page_break else ''
    return f'<w:p>{br}<w:r><w:t xml:space="preserve">{text}</w:t></w:r></w:p>'


def main():
    out, n = sys.argv[1], int(sys.argv[2])
    body = []
    for i in range(1, n + 1):
        body.append(para(f'第 {i} 页', page_break=i > 1))
        body += [para('合同条款说明：甲方与乙方就本项目的实施范围、进度与验收标准达成如下约定。') for _ in range(6)]
    sect = ('<w:sectPr><w:headerReference w:type="default" r:id="rIdH"/>'
            '<w:footerReference w:type="default" r:id="rIdF"/>'
            '<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1440" w:right="1800" w:bottom="1440" '
            'w:left="1800" w:header="851" w:footer="992" w:gutter="0"/></w:sectPr>')
    files = {
        '[Content_Types].xml':
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
            '<Override PartName="/word/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/>'
            '<Override PartName="/word/footer1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml"/>'
            '</Types>',
        '_rels/.rels':
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
            '</Relationships>',
        'word/_rels/document.xml.rels':
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rIdH" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/header" Target="header1.xml"/>'
            '<Relationship Id="rIdF" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer" Target="footer1.xml"/>'
            '</Relationships>',
        'word/document.xml': f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document {W}><w:body>'
                             + ''.join(body) + sect + '</w:body></w:document>',
        'word/header1.xml': f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:hdr {W}>{para("项目合同")}</w:hdr>',
        'word/footer1.xml': f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:ftr {W}>{para("内部资料")}</w:ftr>',
    }
    with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)


if __name__ == '__main__':
    main()
