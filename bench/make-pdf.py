#!/usr/bin/env python3
"""A PDF 1.4 of about SIZE MB: one page and one stream of incompressible bytes.

usage: make-pdf.py SIZE-IN-MB PATH
"""
import os, sys
size, path = int(sys.argv[1]) * 1024 * 1024, sys.argv[2]
with open(path, "wb") as f:
    offsets = []
    def obj(num, body):
        offsets.append(f.tell())
        f.write(b"%d 0 obj\n" % num + body + b"\nendobj\n")
    f.write(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    obj(1, b"<</Type/Catalog/Pages 2 0 R>>")
    obj(2, b"<</Type/Pages/Kids[3 0 R]/Count 1>>")
    obj(3, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<<>>>>")
    offsets.append(f.tell())
    f.write(b"4 0 obj\n<</Length %d>>\nstream\n" % size)
    left = size
    while left > 0:
        piece = min(left, 1 << 20)
        f.write(os.urandom(piece))
        left -= piece
    f.write(b"\nendstream\nendobj\n")
    xref = f.tell()
    f.write(b"xref\n0 5\n0000000000 65535 f \n")
    for o in offsets:
        f.write(b"%010d 00000 n \n" % o)
    f.write(b"trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % xref)
