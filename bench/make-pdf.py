#!/usr/bin/env python3
"""A PDF 1.4 of about SIZE MB in FOLDER/doc.pdf: one page and one stream of
incompressible bytes, a 48 KiB block repeated. Beside it the same document as
Base64 in pieces of 64 KiB of text for feeding: head.b64, piece.b64 (to be fed
`count` times) and tail.b64, and the count in the file `count`.

usage: make-pdf.py SIZE-IN-MB FOLDER
"""
import base64, os, sys

block = 48 * 1024
count = -(-int(sys.argv[1]) * 1024 * 1024 // block)
folder = sys.argv[2]
offsets, head = [], bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")


def obj(num, body):
    offsets.append(len(head))
    head.extend(b"%d 0 obj\n" % num + body + b"\nendobj\n")


obj(1, b"<</Type/Catalog/Pages 2 0 R>>")
obj(2, b"<</Type/Pages/Kids[3 0 R]/Count 1>>")
obj(3, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<<>>>>")
start = b"4 0 obj\n<</Length %d>>\nstream\n" % (count * block)
pad = (-(len(head) + 2 + len(start))) % 3  # the pieces begin on a Base64 group
head.extend(b"%" + b" " * pad + b"\n")
offsets.append(len(head))
head.extend(start)
data = os.urandom(block)
tail = bytearray(b"\nendstream\nendobj\n")
xref = len(head) + count * block + len(tail)
tail.extend(b"xref\n0 5\n0000000000 65535 f \n")
for o in offsets:
    tail.extend(b"%010d 00000 n \n" % o)
tail.extend(b"trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % xref)
os.makedirs(folder, exist_ok=True)
with open(os.path.join(folder, "doc.pdf"), "wb") as f:
    f.write(head)
    for _ in range(count):
        f.write(data)
    f.write(tail)
for name, content in (("head.b64", base64.b64encode(head)), ("piece.b64", base64.b64encode(data)),
                      ("tail.b64", base64.b64encode(tail)), ("count", b"%d" % count)):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content)
