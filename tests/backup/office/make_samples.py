#!/usr/bin/python3
"""Makes the Excel and Word files the tests read: python3 make_samples.py DIR."""
import datetime
import io
import os
import struct
import sys
import zipfile
import zlib

import docx
import olefile
import openpyxl
from openpyxl.styles import Alignment

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def quotation(inserted):
    """A quotation in two sheets; `inserted` adds a row and changes a quantity."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "見積書"
    ws["A1"] = "御見積書　株式会社山田商店 様"
    ws.merge_cells("A1:C1")
    ws["A1"].alignment = Alignment(horizontal="center")
    ws.append(["品名", "数量", "単価"])
    items = [("りんご", 3, 120.5), ("みかん", 12 if inserted else 10, 80), ("ぶどう", 1, 1000)]
    if inserted:
        items.insert(1, ("バナナ", 5, 60))
    for item in items:
        ws.append(item)
    last = ws.max_row
    ws.cell(row=last + 1, column=1, value="合計")
    ws.cell(row=last + 1, column=2, value=f"=SUM(B3:B{last})")
    ws.cell(row=last + 2, column=1, value=datetime.date(2024, 3, 1)).number_format = "yyyy/m/d"
    ws.cell(row=last + 2, column=2, value=datetime.datetime(2024, 3, 1, 14, 5, 9)).number_format = 'yyyy"年"m"月"d"日" h:mm:ss'
    ws.cell(row=last + 3, column=1, value=0.1 + 0.2)
    ws.cell(row=last + 3, column=2, value=True)
    ws.cell(row=last + 3, column=3, value=0.256).number_format = "0.0%"
    ws.cell(row=last + 4, column=1, value=1234567.891).number_format = "#,##0.00"
    ws.cell(row=last + 4, column=2, value=-1234.5).number_format = '"¥"#,##0;"▲¥"#,##0'
    memo = wb.create_sheet("メモ")
    memo["A1"] = "納期は三月末"
    memo["B2"] = 1.0000000000000002
    return wb


quotation(False).save(path("quote_v1.xlsx"))
quotation(True).save(path("quote_v2.xlsx"))

# What openpyxl cannot write: inline strings, phonetic readings, formulas with
# their last values, a shared formula, booleans and errors as Excel stores
# them, and a workbook counting days from 1904.
CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
</Types>"""
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>"""
WORKBOOK = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<workbookPr date1904="1"/><sheets><sheet name="集計" sheetId="1" r:id="rId7"/></sheets></workbook>"""
WORKBOOK_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/sheet1.xml"/>
<Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>
<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>
</Relationships>"""
STRINGS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">
<si><t>東京都</t><rPh sb="0" eb="3"><t>トウキョウト</t></rPh><phoneticPr fontId="1"/></si>
<si><r><t>赤い</t></r><r><rPr><b/></rPr><t xml:space="preserve"> 字_x000D_
次</t></r></si>
</sst>"""
STYLES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<numFmts count="1"><numFmt numFmtId="176" formatCode="[$-411]ggge&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts>
<cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs>
<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="176"/><xf numFmtId="4"/></cellXfs>
</styleSheet>"""
SHEET = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="inlineStr"><is><t>インライン</t></is></c></row>
<row r="2"><c r="A2"><v>3</v></c><c r="B2"><f>A2*2.1</f><v>6.3000000000000007</v></c><c r="C2" s="3"><f t="shared" ref="C2:C4" si="0">$A2*B$2+SUM(A2:B2)</f><v>25.2</v></c></row>
<row r="3"><c r="A3"><v>4</v></c><c r="C3" s="3"><f t="shared" si="0"/><v>30.45</v></c></row>
<row r="4"><c r="A4" t="b"><v>1</v></c><c r="C4" s="3"><f t="shared" si="0"/><v>7</v></c></row>
<row r="5"><c r="A5" t="e"><f>1/0</f><v>#DIV/0!</v></c><c r="B5" t="str"><f>"令和"&amp;"6年"</f><v>令和6年</v></c><c r="C5" t="b"><v>0</v></c></row>
<row r="6"><c r="A6" s="1"><v>43890</v></c><c r="B6" s="2"><v>43890.5</v></c><c r="C6"/></row>
<row><c t="inlineStr"><is><t>番地なし</t></is></c><c><v>-0.5</v></c></row>
</sheetData></worksheet>"""


def write_zip(name, parts):
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        for part, text in parts.items():
            z.writestr(part, text)


stored = {
    "[Content_Types].xml": CONTENT_TYPES,
    "_rels/.rels": ROOT_RELS,
    "xl/workbook.xml": WORKBOOK,
    "xl/_rels/workbook.xml.rels": WORKBOOK_RELS,
    "xl/sharedStrings.xml": STRINGS,
    "xl/styles.xml": STYLES,
    "xl/worksheets/sheet1.xml": SHEET,
}
write_zip("stored.xlsm", stored)
# Another program's part names in capitals, and its XML with a DTD.
write_zip("doctype.xlsx", {**stored, "xl/worksheets/sheet1.xml": SHEET.replace(
    "<worksheet", '<!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">]><worksheet', 1)})
write_zip("broken_xml.xlsx", {**stored, "xl/worksheets/sheet1.xml": SHEET[: len(SHEET) // 2]})

# Minutes: paragraphs, a table, a header, a footer and a footnote.
document = docx.Document()
document.add_heading("第3回 定例会議 議事録", level=1)
document.add_paragraph("日時：2024年3月1日（金）10:00〜11:00")
p = document.add_paragraph("出席者：")
p.add_run("山田").bold = True
p.add_run("、佐藤、鈴木")
table = document.add_table(rows=3, cols=3)
for r, row in enumerate([("議題", "担当", "期限"), ("予算の見直し", "山田", "3/15"), ("新製品の発表", "佐藤", "4/1")]):
    for c, text in enumerate(row):
        table.cell(r, c).text = text
table.cell(2, 2).add_paragraph("延期の可能性あり")
footnoted = document.add_paragraph("次回は四月に開く。")
document.add_paragraph("")
document.add_paragraph("以上")
section = document.sections[0]
section.header.paragraphs[0].text = "社外秘"
section.footer.paragraphs[0].text = "株式会社山田商店"
buffer = io.BytesIO()
document.save(buffer)

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
FOOTNOTES = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:footnotes {W}>
<w:footnote w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>
<w:footnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote>
<w:footnote w:id="1"><w:p><w:r><w:footnoteRef/></w:r><w:r><w:t xml:space="preserve"> 会場は本社三階の会議室。</w:t></w:r></w:p></w:footnote>
</w:footnotes>"""
with zipfile.ZipFile(buffer) as source, zipfile.ZipFile(path("minutes.docx"), "w", zipfile.ZIP_DEFLATED) as z:
    for item in source.infolist():
        data = source.read(item.filename)
        if item.filename == "word/document.xml":
            data = data.replace("次回は四月に開く。</w:t></w:r>".encode(),
                                '次回は四月に開く。</w:t></w:r><w:r><w:footnoteReference w:id="1"/></w:r>'.encode())
        elif item.filename == "word/_rels/document.xml.rels":
            data = data.replace(b"</Relationships>", b'<Relationship Id="rIdFn" Type="http://schemas.openxmlformats.org/'
                                b'officeDocument/2006/relationships/footnotes" Target="footnotes.xml"/></Relationships>')
        elif item.filename == "[Content_Types].xml":
            data = data.replace(b"</Types>", b'<Override PartName="/word/footnotes.xml" ContentType="application/'
                                b'vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml"/></Types>')
        z.writestr(item, data)
    z.writestr("word/footnotes.xml", FOOTNOTES)

# Damaged: cut short, and one byte of a sheet's packed data changed.
whole = open(path("quote_v1.xlsx"), "rb").read()
open(path("truncated.xlsx"), "wb").write(whole[: len(whole) // 2])
with zipfile.ZipFile(path("quote_v1.xlsx")) as z:
    info = z.getinfo("xl/worksheets/sheet1.xml")
start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
flipped = bytearray(whole)
flipped[start + info.compress_size // 2] ^= 0x55
open(path("flipped.xlsx"), "wb").write(bytes(flipped))

# A zip bomb: one sheet of 64 MB of spaces in a few kilobytes, its directory
# claiming a thousand bytes.
with zipfile.ZipFile(path("bomb.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
    for part, text in stored.items():
        if part != "xl/worksheets/sheet1.xml":
            z.writestr(part, text)
    z.writestr("xl/worksheets/sheet1.xml", b"<worksheet><sheetData>" + b" " * (64 << 20))
bomb = bytearray(open(path("bomb.xlsx"), "rb").read())
name = b"xl/worksheets/sheet1.xml"
for signature, size_at in ((b"PK\x01\x02", 24), (b"PK\x03\x04", 22)):
    at = bomb.find(signature + b"", 0)
    while at >= 0:
        name_at = at + (46 if signature == b"PK\x01\x02" else 30)
        if bomb[name_at:name_at + len(name)] == name:
            bomb[at + size_at:at + size_at + 4] = struct.pack("<I", 1000)
        at = bomb.find(signature, at + 4)
open(path("bomb.xlsx"), "wb").write(bytes(bomb))


def compound_file(streams):
    """An OLE compound file (version 3, 512-byte sectors) with these streams,
    each at least 4096 bytes so that none lives in the mini stream."""
    sector = 512
    data_sectors = []
    entries = []
    next_sector = 2  # 0 the FAT, 1 the directory
    fat = [0xFFFFFFFD, 0xFFFFFFFE]
    for name, body in streams:
        body = body + b"\0" * (-len(body) % sector)
        count = len(body) // sector
        entries.append((name, next_sector, len(body)))
        fat += [next_sector + i + 1 for i in range(count - 1)] + [0xFFFFFFFE]
        data_sectors.append(body)
        next_sector += count
    assert len(fat) <= 128
    fat += [0xFFFFFFFF] * (128 - len(fat))

    def entry(name, kind, left, right, child, start, size):
        encoded = name.encode("utf-16-le") + b"\0\0"
        return (encoded.ljust(64, b"\0") + struct.pack("<HBBIII", len(encoded), kind, 1, left, right, child) +
                b"\0" * 16 + struct.pack("<IQQIQ", 0, 0, 0, start, size))

    none = 0xFFFFFFFF
    directory = entry("Root Entry", 5, none, none, 1, 0xFFFFFFFE, 0)
    for i, (name, start, size) in enumerate(entries):
        directory += entry(name, 2, none, i + 2 if i + 1 < len(entries) else none, none, start, size)
    directory = directory.ljust(sector, b"\0")
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16 + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6 +
              struct.pack("<IIIIIIIII", 0, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0) +
              struct.pack("<I", 0) + struct.pack("<I", none) * 108)
    return header + struct.pack("<128I", *fat) + directory + b"".join(data_sectors)


# A password-protected workbook as Office keeps it: the encrypted package in
# a compound file beside its encryption information (shorter names first, as
# the directory's order asks).
info = struct.pack("<HHI", 4, 4, 0x40) + b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><encryption/>'
package = struct.pack("<Q", len(whole)) + os.urandom(len(whole) + 16)
open(path("protected.xlsx"), "wb").write(compound_file([("EncryptionInfo", info.ljust(4096, b"\0")),
                                                        ("EncryptedPackage", package)]))
assert olefile.OleFileIO(path("protected.xlsx")).exists("EncryptedPackage")
open(path("old.xls"), "wb").write(compound_file([("Workbook", b"\x09\x08" + b"\0" * 5000)]))
open(path("stamp"), "w").write("made\n")
