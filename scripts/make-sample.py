#!/usr/bin/env python3
"""Writes the sample document (a one-page PDF 1.4 with a text and a place for
the signature) and a JPEG picture for a visible signature.

usage: make-sample.py OUT.pdf [OUT.jpg]

The picture is drawn as a small PDF page and rendered to JPEG by pdftoppm.
"""
import os
import subprocess
import sys
import tempfile


def pdf(page_size, content):
    """A complete one-page PDF 1.4 with a Helvetica font and the given page
    content stream; the cross-reference offsets are counted as written."""
    width, height = page_size
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] "
         "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>" % (width, height)).encode(),
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def sample_document():
    lines = [
        (72, 770, 20, "Pendrel PDF sample agreement"),
        (72, 730, 12, "This one-page document was generated to show signing and verification."),
        (72, 712, 12, "The signature below is placed by the demo with its signer and time."),
        (72, 160, 10, "Signature:"),
    ]
    content = b""
    for x, y, size, text in lines:
        escaped = text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
        content += b"BT /F1 %d Tf %d %d Td (%s) Tj ET\n" % (size, x, y, escaped.encode("latin-1"))
    content += b"0.6 G 72 150 m 300 150 l S\n"
    return pdf((595, 842), content)


def seal_page():
    # A blue disc with a white ring on a pale background.
    k = 0.5523 * 50
    disc = (b"110 60 m 110 %.2f %.2f 110 60 110 c 60 110 m %.2f 110 10 %.2f 10 60 c "
            b"10 60 m 10 %.2f %.2f 10 60 10 c 60 10 m %.2f 10 110 %.2f 110 60 c f\n"
            % (60 + k, 60 + k, 60 - k, 60 + k, 60 - k, 60 - k, 60 + k, 60 - k))
    content = (b"0.93 0.95 1 rg 0 0 120 120 re f\n0.15 0.3 0.7 rg\n" + disc +
               b"1 1 1 RG 4 w 60 60 m 90 60 l S 60 60 m 60 90 l S\n")
    return pdf((120, 120), content)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make-sample.py OUT.pdf [OUT.jpg]")
    with open(sys.argv[1], "wb") as f:
        f.write(sample_document())
    if len(sys.argv) == 3:
        jpg = sys.argv[2]
        with tempfile.TemporaryDirectory() as tmp:
            seal = os.path.join(tmp, "seal.pdf")
            with open(seal, "wb") as f:
                f.write(seal_page())
            subprocess.run(["pdftoppm", "-jpeg", "-r", "72", "-singlefile", seal,
                            os.path.join(tmp, "seal")], check=True)
            with open(os.path.join(tmp, "seal.jpg"), "rb") as f:
                picture = f.read()
        with open(jpg, "wb") as f:
            f.write(picture)


if __name__ == "__main__":
    main()
