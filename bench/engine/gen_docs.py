#!/usr/bin/env python3
"""Generates the benchmark's documents, reproducibly (same arguments, same bytes).

  gen_docs.py set  OUTDIR [COUNT]      COUNT (default 1000) documents of about 40 KB: a header
                                       part, 40 paragraphs of mixed Chinese and Latin text in
                                       bold and plain runs, and a 6 x 4 table.
  gen_docs.py big  OUTFILE MB text     one document of about MB megabytes (file size) of many
                                       paragraphs
  gen_docs.py big  OUTFILE MB xml      one document whose main part is about MB megabytes of XML
  gen_docs.py big  OUTFILE MB media    one document with about MB megabytes of pictures (and
                                       the 40 paragraphs)

The find text of the benchmark, FIND_TEXT ("甲方"), occurs inside single runs only (a few times
per paragraph and in table cells), so a run-by-run replacement (python-docx) and Word's find
(the engine) replace the same occurrences. Its first character never occurs elsewhere.
"""

import io
import random
import struct
import sys
import zipfile
import zlib

FIND_TEXT = "甲方"
REPLACEMENT = "委托方"

# Common Chinese characters without 甲 (the first character of FIND_TEXT).
HAN = ("的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过"
       "子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体"
       "制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内"
       "数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提"
       "直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计"
       "别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海"
       "口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身"
       "车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石"
       "记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青")
LATIN = ("contract party agreement clause payment schedule delivery invoice section annex term notice "
         "Vellumark document engine batch replace header footer table paragraph Word office review "
         "version draft signature amount total period renewal liability warranty").split()

NS = ('xmlns:wpc="http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas" '
      'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
      'xmlns:o="urn:schemas-microsoft-com:office:office" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math" '
      'xmlns:v="urn:schemas-microsoft-com:vml" '
      'xmlns:wp14="http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing" '
      'xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" '
      'xmlns:w10="urn:schemas-microsoft-com:office:word" '
      'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" '
      'xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" '
      'xmlns:wpg="http://schemas.microsoft.com/office/word/2010/wordprocessingGroup" '
      'xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape" '
      'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture" '
      'mc:Ignorable="w14 wp14"')

DATE = (2024, 1, 1, 0, 0, 0)


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def chunk_text(rng, with_find):
    parts = []
    for _ in range(rng.randint(3, 7)):
        if rng.random() < 0.55:
            parts.append("".join(rng.choice(HAN) for _ in range(rng.randint(4, 14))))
        else:
            parts.append(" ".join(rng.choice(LATIN) for _ in range(rng.randint(1, 4))))
    if with_find:
        parts.insert(rng.randint(0, len(parts)), FIND_TEXT)
    return "，".join(parts) if rng.random() < 0.5 else " ".join(parts)


RPR_FONTS = '<w:rFonts w:ascii="Calibri" w:eastAsia="宋体" w:hAnsi="Calibri"/>'


def run(rng, text, bold):
    rpr = RPR_FONTS + ("<w:b/><w:bCs/>" if bold else "") + '<w:sz w:val="21"/><w:lang w:eastAsia="zh-CN"/>'
    return f'<w:r><w:rPr>{rpr}</w:rPr><w:t xml:space="preserve">{esc(text)}</w:t></w:r>'


def paragraph(rng, pid):
    runs = []
    for i in range(rng.randint(9, 13)):
        runs.append(run(rng, chunk_text(rng, with_find=(i % 4 == 1)), bold=(i % 3 == 0)))
    return (f'<w:p w14:paraId="{pid:08X}" w14:textId="77777777" w:rsidR="00A1B2C3" w:rsidRDefault="00A1B2C3">'
            f'<w:pPr><w:spacing w:after="120"/><w:jc w:val="both"/></w:pPr>{"".join(runs)}</w:p>')


def table(rng, rows=6, cols=4):
    grid = "".join('<w:gridCol w:w="2074"/>' for _ in range(cols))
    out = [f'<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/>'
           f'<w:tblLook w:val="04A0"/></w:tblPr><w:tblGrid>{grid}</w:tblGrid>']
    for r in range(rows):
        out.append("<w:tr>")
        for c in range(cols):
            text = chunk_text(rng, with_find=(r + c) % 3 == 0)
            out.append(f'<w:tc><w:tcPr><w:tcW w:w="2074" w:type="dxa"/></w:tcPr>'
                       f'<w:p>{run(rng, text, bold=(r == 0))}</w:p></w:tc>')
        out.append("</w:tr>")
    out.append("</w:tbl>")
    return "".join(out)


SECT = ('<w:sectPr><w:headerReference w:type="default" r:id="rId8"/>'
        '<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1440" w:right="1800" w:bottom="1440" '
        'w:left="1800" w:header="851" w:footer="992" w:gutter="0"/><w:cols w:space="425"/>'
        '<w:docGrid w:type="lines" w:linePitch="312"/></w:sectPr>')


def document_xml(body):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            f'<w:document {NS}><w:body>{body}{SECT}</w:body></w:document>')


def header_xml(rng):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<w:hdr {NS}>'
            f'<w:p><w:pPr><w:pStyle w:val="Header"/></w:pPr>{run(rng, "合同编号 " + str(rng.randint(10000, 99999)) + " " + FIND_TEXT, True)}</w:p></w:hdr>')


def styles_xml():
    styles = ['<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme="minorHAnsi" w:eastAsiaTheme="minorEastAsia" '
              'w:hAnsiTheme="minorHAnsi" w:cstheme="minorBidi"/><w:kern w:val="2"/><w:sz w:val="21"/><w:szCs w:val="22"/>'
              '<w:lang w:val="en-US" w:eastAsia="zh-CN" w:bidi="ar-SA"/></w:rPr></w:rPrDefault><w:pPrDefault/></w:docDefaults>',
              '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/>'
              '<w:pPr><w:widowControl w:val="0"/><w:jc w:val="both"/></w:pPr></w:style>',
              '<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/></w:style>',
              '<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/><w:tblPr>'
              '<w:tblInd w:w="0" w:type="dxa"/><w:tblCellMar><w:top w:w="0" w:type="dxa"/><w:left w:w="108" w:type="dxa"/>'
              '<w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/></w:tblCellMar></w:tblPr></w:style>',
              '<w:style w:type="table" w:styleId="TableGrid"><w:name w:val="Table Grid"/><w:basedOn w:val="TableNormal"/>'
              '<w:tblPr><w:tblBorders><w:top w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:left w:val="single" '
              'w:sz="4" w:space="0" w:color="auto"/><w:bottom w:val="single" w:sz="4" w:space="0" w:color="auto"/>'
              '<w:right w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:insideH w:val="single" w:sz="4" '
              'w:space="0" w:color="auto"/><w:insideV w:val="single" w:sz="4" w:space="0" w:color="auto"/></w:tblBorders></w:tblPr></w:style>',
              '<w:style w:type="paragraph" w:styleId="Header"><w:name w:val="header"/><w:basedOn w:val="Normal"/>'
              '<w:pPr><w:pBdr><w:bottom w:val="single" w:sz="6" w:space="1" w:color="auto"/></w:pBdr><w:tabs>'
              '<w:tab w:val="center" w:pos="4153"/><w:tab w:val="right" w:pos="8306"/></w:tabs><w:snapToGrid w:val="0"/>'
              '<w:jc w:val="center"/></w:pPr><w:rPr><w:sz w:val="18"/><w:szCs w:val="18"/></w:rPr></w:style>']
    for i in range(1, 10):
        styles.append(f'<w:style w:type="paragraph" w:styleId="Heading{i}"><w:name w:val="heading {i}"/>'
                      f'<w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:keepNext/><w:keepLines/>'
                      f'<w:spacing w:before="{340 - i * 20}" w:after="{330 - i * 20}" w:line="{578 - i * 30}" w:lineRule="auto"/>'
                      f'<w:outlineLvl w:val="{i - 1}"/></w:pPr><w:rPr><w:b/><w:bCs/><w:kern w:val="44"/>'
                      f'<w:sz w:val="{46 - i * 2}"/><w:szCs w:val="{46 - i * 2}"/></w:rPr></w:style>')
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<w:styles {NS}>{"".join(styles)}</w:styles>')


def theme_xml(rng):
    # A theme of the usual size (Office's is ~7 KB); colours vary per document.
    colours = "".join(f'<a:accent{i}><a:srgbClr val="{rng.randrange(1 << 24):06X}"/></a:accent{i}>' for i in range(1, 7))
    fonts = "".join(f'<a:font script="{s}" typeface="{t}"/>' for s, t in
                    [("Jpan", "游明朝"), ("Hang", "바탕"), ("Hans", "等线"), ("Hant", "新細明體"), ("Arab", "Times New Roman"),
                     ("Hebr", "Times New Roman"), ("Thai", "Angsana New"), ("Ethi", "Nyala"), ("Beng", "Vrinda"),
                     ("Gujr", "Shruti"), ("Khmr", "MoolBoran"), ("Knda", "Tunga"), ("Guru", "Raavi"), ("Cans", "Euphemia"),
                     ("Cher", "Plantagenet Cherokee"), ("Yiii", "Microsoft Yi Baiti"), ("Tibt", "Microsoft Himalaya"),
                     ("Thaa", "MV Boli"), ("Deva", "Mangal"), ("Telu", "Gautami"), ("Taml", "Latha"), ("Syrc", "Estrangelo Edessa")])
    grads = [f'<a:gradFill rotWithShape="1"><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:lumMod val="{110000 - k * 1000}"/>'
                  f'<a:satMod val="{105000 + k * 1000}"/><a:tint val="{67000 + k * 100}"/></a:schemeClr></a:gs><a:gs pos="50000">'
                  f'<a:schemeClr val="phClr"><a:lumMod val="105000"/><a:satMod val="103000"/><a:tint val="73000"/></a:schemeClr></a:gs>'
                  f'</a:gsLst><a:lin ang="5400000" scaled="0"/></a:gradFill>' for k in range(12)]
    fmt = "".join(grads)
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="Office">'
            f'<a:themeElements><a:clrScheme name="Office"><a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>'
            f'<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1><a:dk2><a:srgbClr val="44546A"/></a:dk2><a:lt2><a:srgbClr val="E7E6E6"/></a:lt2>'
            f'{colours}<a:hlink><a:srgbClr val="0563C1"/></a:hlink><a:folHlink><a:srgbClr val="954F72"/></a:folHlink></a:clrScheme>'
            f'<a:fontScheme name="Office"><a:majorFont><a:latin typeface="Calibri Light"/><a:ea typeface=""/><a:cs typeface=""/>{fonts}</a:majorFont>'
            f'<a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface=""/>{fonts}</a:minorFont></a:fontScheme>'
            f'<a:fmtScheme name="Office"><a:fillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill>{fmt}</a:fillStyleLst>'
            f'<a:lnStyleLst><a:ln w="6350"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln><a:ln w="12700"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln>'
            f'<a:ln w="19050"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln></a:lnStyleLst><a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle>'
            f'<a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>'
            f'<a:bgFillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill>{"".join(grads[:2])}</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>')


SETTINGS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<w:settings ' + NS + '>'
            '<w:zoom w:percent="100"/><w:bordersDoNotSurroundHeader/><w:bordersDoNotSurroundFooter/>'
            '<w:defaultTabStop w:val="420"/><w:drawingGridVerticalSpacing w:val="156"/><w:characterSpacingControl w:val="compressPunctuation"/>'
            '<w:compat><w:spaceForUL/><w:balanceSingleByteDoubleByteWidth/><w:doNotLeaveBackslashAlone/><w:ulTrailSpace/>'
            '<w:doNotExpandShiftReturn/><w:adjustLineHeightInTable/><w:useFELayout/>'
            '<w:compatSetting w:name="compatibilityMode" w:uri="http://schemas.microsoft.com/office/word" w:val="15"/></w:compat>'
            '<w:themeFontLang w:val="en-US" w:eastAsia="zh-CN"/><w:decimalSymbol w:val="."/><w:listSeparator w:val=","/></w:settings>')

FONTS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<w:fonts ' + NS + '>'
         '<w:font w:name="Calibri"><w:panose1 w:val="020F0502020204030204"/><w:charset w:val="00"/><w:family w:val="swiss"/></w:font>'
         '<w:font w:name="宋体"><w:altName w:val="SimSun"/><w:panose1 w:val="02010600030101010101"/><w:charset w:val="86"/><w:family w:val="auto"/></w:font>'
         '<w:font w:name="Times New Roman"><w:panose1 w:val="02020603050405020304"/><w:charset w:val="00"/><w:family w:val="roman"/></w:font></w:fonts>')

CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
                 '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '<Default Extension="xml" ContentType="application/xml"/>{defaults}'
                 '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
                 '<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>'
                 '<Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/>'
                 '<Override PartName="/word/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/>'
                 '<Override PartName="/word/fontTable.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.fontTable+xml"/>'
                 '<Override PartName="/word/theme/theme1.xml" ContentType="application/vnd.openxmlformats-officedocument.theme+xml"/>'
                 '<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>'
                 '<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/></Types>')

PKG_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>'
            '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
            '</Relationships>')

R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def doc_rels(extra=""):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Id="rId1" Type="{R}/styles" Target="styles.xml"/>'
            f'<Relationship Id="rId2" Type="{R}/settings" Target="settings.xml"/>'
            f'<Relationship Id="rId3" Type="{R}/fontTable" Target="fontTable.xml"/>'
            f'<Relationship Id="rId4" Type="{R}/theme" Target="theme/theme1.xml"/>'
            f'<Relationship Id="rId8" Type="{R}/header" Target="header1.xml"/>{extra}'
            '</Relationships>')


def core_xml(i):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
            'xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" '
            'xmlns:dcmitype="http://purl.org/dc/dcmitype/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
            f'<dc:title>合同 {i}</dc:title><dc:creator>vellumark-bench</dc:creator>'
            '<dcterms:created xsi:type="dcterms:W3CDTF">2024-01-01T00:00:00Z</dcterms:created>'
            '<dcterms:modified xsi:type="dcterms:W3CDTF">2024-01-01T00:00:00Z</dcterms:modified></cp:coreProperties>')


APP = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
       '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
       '<Template>Normal.dotm</Template><Application>Microsoft Office Word</Application><DocSecurity>0</DocSecurity></Properties>')


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for name, data in parts:
            info = zipfile.ZipInfo(name, DATE)
            info.compress_type = zipfile.ZIP_STORED if name.endswith(".png") else zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)


def png(rng, width, height):
    """A PNG of noise (incompressible), width x height RGB."""
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    row = width * 3
    raw = bytearray()
    noise = rng.randbytes(row * height) if hasattr(rng, "randbytes") else bytes(rng.getrandbits(8) for _ in range(row * height))
    for y in range(height):
        raw += b"\x00" + noise[y * row:(y + 1) * row]
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 1)) + chunk(b"IEND", b""))


def picture_paragraph(rid, n, cx, cy):
    return (f'<w:p><w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="{cx}" cy="{cy}"/>'
            f'<wp:docPr id="{n}" name="Picture {n}"/><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture">'
            f'<pic:pic><pic:nvPicPr><pic:cNvPr id="{n}" name="image{n}.png"/><pic:cNvPicPr/></pic:nvPicPr>'
            f'<pic:blipFill><a:blip r:embed="{rid}"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>'
            f'<pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="{cx}" cy="{cy}"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr>'
            f'</pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>')


def make_doc(i, paragraphs=40, pictures=None):
    rng = random.Random(1000003 * (i + 1))
    body = [paragraph(rng, (i << 12) + k) for k in range(paragraphs // 2)]
    body.append(table(rng))
    body += [paragraph(rng, (i << 12) + k) for k in range(paragraphs // 2, paragraphs)]
    extra_rels, media, defaults = "", [], ""
    if pictures:
        defaults = '<Default Extension="png" ContentType="image/png"/>'
        for n, data in enumerate(pictures, start=1):
            extra_rels += f'<Relationship Id="rIdImg{n}" Type="{R}/image" Target="media/image{n}.png"/>'
            media.append((f"word/media/image{n}.png", data))
            body.append(picture_paragraph(f"rIdImg{n}", n, 5486400, 5486400))
    parts = [("[Content_Types].xml", CONTENT_TYPES.format(defaults=defaults)), ("_rels/.rels", PKG_RELS),
             ("word/document.xml", document_xml("".join(body))), ("word/_rels/document.xml.rels", doc_rels(extra_rels)),
             ("word/header1.xml", header_xml(rng)), ("word/styles.xml", styles_xml()), ("word/settings.xml", SETTINGS),
             ("word/fontTable.xml", FONTS), ("word/theme/theme1.xml", theme_xml(rng)),
             ("docProps/core.xml", core_xml(i)), ("docProps/app.xml", APP)] + media
    return parts


def main(argv):
    if len(argv) >= 2 and argv[1] == "set":
        outdir, count = argv[2], int(argv[3]) if len(argv) > 3 else 1000
        import os
        os.makedirs(outdir, exist_ok=True)
        for i in range(count):
            write_zip(f"{outdir}/gen{i:04d}.docx", make_doc(i))
        return 0
    if len(argv) >= 5 and argv[1] == "big":
        out, mb, kind = argv[2], float(argv[3]), argv[4]
        target = int(mb * 1024 * 1024)
        if kind == "media":
            rng = random.Random(7)
            side = 1024  # 1024 x 1024 px of noise: ~3 MB per picture
            pics = []
            while sum(len(p) for p in pics) < target - 60 * 1024:
                pics.append(png(rng, side, side))
            pics[-1:] = [png(rng, side, max(16, side * (target - 60 * 1024 - sum(len(p) for p in pics[:-1])) // len(pics[-1])))]
            write_zip(out, make_doc(0, pictures=pics))
        elif kind == "xml":
            # Paragraphs until the uncompressed document part reaches the size.
            per_para = len(make_doc(0)[2][1].encode()) / 40
            write_zip(out, make_doc(0, paragraphs=int(target / per_para)))
        else:
            # Paragraphs until the compressed document part reaches the size: estimate from one
            # 40-paragraph document and scale.
            one = make_doc(0)
            import io as _io
            buf = _io.BytesIO()
            with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("d", one[2][1].encode())
            per_para = len(buf.getvalue()) / 40
            write_zip(out, make_doc(0, paragraphs=int(target / per_para)))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
