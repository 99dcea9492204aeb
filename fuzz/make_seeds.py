#!/usr/bin/env python3
"""Writes the generated seed corpora of the fuzz targets: make_seeds.py OUTDIR
makes OUTDIR/<target>/ with a few small inputs each (documents written with
exact offsets, a certificate and revocation lists made by openssl, texts)."""
import base64
import json
import os
import subprocess
import sys
import tempfile


class Pdf:
    """A PDF written revision by revision with exact cross-reference offsets."""

    def __init__(self, version="1.4"):
        self.data = b"%PDF-" + version.encode() + b"\n%\xe2\xe3\xcf\xd3\n"
        self.offsets = {}
        self.startxref = 0

    def revision(self, objects, trailer=b"", stream=False):
        for num, body in sorted(objects.items()):
            self.offsets[num] = len(self.data)
            self.data += b"%d 0 obj\n" % num + body + b"\nendobj\n"
        size = max(self.offsets) + 1
        prev = b"/Prev %d" % self.startxref if self.startxref else b""
        start = len(self.data)
        if stream:
            num = size
            self.offsets[num] = start
            size += 1
            rows = b"\x00\x00\x00\x00\x00\xff\xff"
            for n in range(1, size):
                off = self.offsets.get(n, 0)
                rows += bytes([1 if n in self.offsets else 0]) + off.to_bytes(4, "big") + b"\x00\x00"
            self.data += (b"%d 0 obj\n<</Type/XRef/W[1 4 2]/Size %d/Root 1 0 R%s%s/Length %d>>stream\n"
                          % (num, size, prev, trailer, len(rows)) + rows + b"\nendstream\nendobj\n")
        else:
            self.data += b"xref\n0 %d\n0000000000 65535 f \n" % size
            for n in range(1, size):
                if n in self.offsets:
                    self.data += b"%010d 00000 n \n" % self.offsets[n]
                else:
                    self.data += b"0000000000 65535 f \n"
            self.data += b"trailer\n<</Size %d/Root 1 0 R%s%s>>\n" % (size, prev, trailer)
        self.startxref = start
        self.data += b"startxref\n%d\n%%%%EOF\n" % start


def basic(extra=b""):
    return {1: b"<</Type/Catalog/Pages 2 0 R" + extra + b">>",
            2: b"<</Type/Pages/Kids[3 0 R]/Count 1>>",
            3: b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>"}


def signed_document(work, hole_digits=8192):
    """One page and a signature field signed by the seed leaf with openssl cms
    over the byte range, which covers the whole file."""
    pdf = Pdf()
    objects = basic(b"/AcroForm 4 0 R")
    objects[3] = b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Annots[5 0 R]>>"
    objects[4] = b"<</Fields[5 0 R]/SigFlags 3>>"
    objects[5] = b"<</FT/Sig/T(Signature1)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/V 6 0 R>>"
    objects[6] = (b"<</Type/Sig/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/Name(Leaf)"
                  b"/M(D:20240115143000+01'00')/ByteRange[0 0000000000 0000000000 0000000000]/Contents<" +
                  b"0" * hole_digits + b">>>")
    pdf.revision(objects)
    data = pdf.data
    start = data.index(b"/Contents<") + 9
    end = start + hole_digits + 2
    rng = b"[0 %d %d %d]" % (start, end, len(data) - end)
    placeholder = b"[0 0000000000 0000000000 0000000000]"
    data = data.replace(placeholder, rng + b" " * (len(placeholder) - len(rng)))
    covered = os.path.join(work, "covered.bin")
    with open(covered, "wb") as f:
        f.write(data[:start] + data[end:])
    der = subprocess.run(["openssl", "cms", "-sign", "-binary", "-in", covered, "-signer", "leaf.pem",
                          "-inkey", "leaf.key", "-outform", "DER", "-md", "sha256"],
                         cwd=work, check=True, capture_output=True).stdout
    digits = der.hex().encode()
    assert len(digits) <= hole_digits
    return data[: start + 1] + digits + data[start + 1 + len(digits):]


def documents():
    out = {}
    pdf = Pdf()
    pdf.revision(basic())
    out["plain.pdf"] = pdf.data
    pdf.revision({4: b"(an update)"})
    out["two-revisions.pdf"] = pdf.data
    pdf = Pdf("1.5")
    pdf.revision(basic(), stream=True)
    out["xref-stream.pdf"] = pdf.data
    # A signature field whose dictionary has long entries before /Contents
    # and a byte range over the whole file (the hole holds no signature).
    pdf = Pdf()
    sig = (b"<</Type/Sig/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/Reason(" + b"r" * 300 +
           b")/M(D:20240115143000+01'00')/ByteRange[0 0000000000 0000000000 0000000000]/Contents<" +
           b"0" * 64 + b">>>")
    objects = basic(b"/AcroForm 4 0 R")
    objects[3] = b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Annots[5 0 R]>>"
    objects[4] = b"<</Fields[5 0 R]/SigFlags 3>>"
    objects[5] = b"<</FT/Sig/T(Signature1)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/V 6 0 R>>"
    objects[6] = sig
    pdf.revision(objects)
    data = pdf.data
    start = data.index(b"/Contents<") + 9
    end = data.index(b">", start) + 1
    rng = b"[0 %d %d %d]" % (start, end, len(data) - end)
    placeholder = b"[0 0000000000 0000000000 0000000000]"
    data = data.replace(placeholder, rng + b" " * (len(placeholder) - len(rng)))
    out["signature-field.pdf"] = data
    out["empty-field.pdf"] = data.replace(b"/V 6 0 R", b"        ")
    out["truncated.pdf"] = data[: len(data) * 2 // 3]
    return out


def openssl_material(work):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True)

    with open(os.path.join(work, "ca.cnf"), "w") as f:
        f.write("[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\ndefault_md=sha256\ndefault_crl_days=30\n"
                "crlnumber=crlnumber\n[v3]\nkeyUsage=critical,digitalSignature,nonRepudiation\n"
                "crlDistributionPoints=URI:http://127.0.0.1:1/ca.crl,URI:ldap://127.0.0.1:1/cn=CA?"
                "certificateRevocationList;binary\nsubjectKeyIdentifier=hash\n")
    open(os.path.join(work, "index.txt"), "w").close()
    with open(os.path.join(work, "crlnumber"), "w") as f:
        f.write("01\n")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
        "-subj", "/C=DE/O=Pendrel Fuzz/OU=Seeds/CN=Fuzz CA \u00c4")
    run("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "leaf.key", "-out", "leaf.csr",
        "-subj", "/C=DE/O=Pendrel Fuzz/CN=Leaf/emailAddress=leaf@example.org")
    run("x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "4660",
        "-days", "30", "-extfile", "ca.cnf", "-extensions", "v3", "-out", "leaf.pem")
    run("x509", "-in", "leaf.pem", "-outform", "DER", "-out", "leaf.der")
    run("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    with open(os.path.join(work, "index.txt"), "w") as f:
        f.write("R\t300101000000Z\t240101000000Z\t1234\tunknown\t/CN=Leaf\n")
    run("ca", "-config", "ca.cnf", "-gencrl", "-keyfile", "ca.key", "-cert", "ca.pem", "-out", "ca.crl.pem")
    run("crl", "-in", "ca.crl.pem", "-outform", "DER", "-out", "ca.crl")
    read = lambda name: open(os.path.join(work, name), "rb").read()
    return {"certificate": {"leaf.der": read("leaf.der"), "ca.der": read("ca.der")},
            "crl": {"list.crl": read("ca.crl"), "list.pem": read("ca.crl.pem")},
            "pemcrl": {"list.pem": read("ca.crl.pem"),
                       "list-crlf.pem": read("ca.crl.pem").replace(b"\n", b"\r\n"),
                       "no-end.pem": read("ca.crl.pem").split(b"-----END")[0]}}


def bridge_sessions(signed):
    """Message sequences of one page's connection, one JSON message a line, as
    the page library sends them (the origin is stamped by the target)."""
    def lines(*messages):
        return b"\n".join(json.dumps(dict(m, id=i + 1)).encode() for i, m in enumerate(messages))

    hello = {"op": "hello"}
    plugin = {"$object": 1}
    piece = base64.b64encode(signed).decode()
    verify = lines(hello, {"op": "invoke", "object": 1, "name": "createPropObject", "args": []},
                   {"op": "set", "object": 2, "name": "options", "value": 16},
                   {"op": "feed", "object": 2, "data": piece[:4096]}, {"op": "feed", "object": 2, "data": piece[4096:]},
                   {"op": "feed", "object": 2, "data": ""},
                   {"op": "invoke", "object": 1, "name": "verify", "args": [{"$object": 2}]},
                   {"op": "get", "object": 3, "name": "error"}, {"op": "get", "object": 3, "name": "signatures"},
                   {"op": "get", "object": 4, "name": "sigCount"},
                   {"op": "invoke", "object": 4, "name": "loadSignature", "args": [0]},
                   {"op": "get", "object": 4, "name": "status"}, {"op": "get", "object": 4, "name": "certificate"},
                   {"op": "get", "object": 5, "name": "subject"}, {"op": "read", "object": 3},
                   {"op": "release", "object": 4}, {"op": "release", "object": 3})
    sign = lines(hello, {"op": "invoke", "object": 1, "name": "createPropObject", "args": []},
                 {"op": "set", "object": 2, "name": "file", "value": "http://127.0.0.1:9/a.pdf"},
                 {"op": "set", "object": 2, "name": "file", "value": "/etc/passwd"},
                 {"op": "feed", "object": 2, "data": piece}, {"op": "feed", "object": 2, "data": ""},
                 {"op": "invoke", "object": 1, "name": "createCertInfoObject", "args": []},
                 {"op": "set", "object": 3, "name": "subject", "value": "Nobody"},
                 {"op": "invoke", "object": 3, "name": "search", "args": []},
                 {"op": "set", "object": 2, "name": "certificate", "value": {"$object": 3}},
                 {"op": "set", "object": 2, "name": "reason", "value": "Z\u00fcrich \ud800"},
                 {"op": "invoke", "object": 1, "name": "sign", "args": [{"$object": 2}]},
                 {"op": "invoke", "object": 2, "name": "saveFile", "args": ["/tmp/x.pdf"]},
                 {"op": "get", "object": 4, "name": "error"}, {"op": "cancel"})
    values = lines(hello, {"op": "get", "object": 1, "name": "versionNumber"},
                   {"op": "invoke", "object": 1, "name": "createPropObject", "args": [None, True, 1.5, "x", [1]]},
                   {"op": "set", "object": 2, "name": "lang", "value": 2147483648},
                   {"op": "get", "object": 2, "name": "nosuch"}, {"op": "invoke", "object": 9, "name": "x"},
                   {"op": "release", "object": 1}, {"op": "get", "object": 1, "name": "versionNumber"})
    bad = b"\n".join([b"", b"{", b"[]", b'{"id":1}', b'{"id":1,"op":"get"}', b'{"id":"1","op":"hello"}',
                       b'{"id":2,"op":"nosuch"}', b'{"id":3,"op":"hello","data":"' + b"QUJD" * 20000 + b'"}',
                       b'{"id":4,"op":"feed","object":1,"data":"\\u0041"}'])
    return {"hello": lines(hello), "verify": verify, "sign": sign, "values": values, "bad": bad}


def main():
    out = sys.argv[1]
    docs = documents()
    seeds = {
        "document": docs,
        "verify": docs,
        "base64": {"text": b"\x03\x01\x04SGVsbG8sIHdvcmxkIQ==", "lines": b"\x01\x02JVBE\nRi0x\r\nLjQK",
                   "odd": b"\x05J\x03VBE"},
        "url": {"http": b"http://user@example.org:8080/a/b%20c/?q=1&r=%41#frag",
                "file": b"file:///tmp/a%20b%00c.pdf", "bare": b"document.pdf",
                "ldap": b"ldap://127.0.0.1:389/cn=CA,o=Fuzz?certificateRevocationList;binary",
                "port": b"https://[::1]:70000/"},
        "text": {"utf16": b"\xfe\xff\x00O\xd8\x00\x00K", "bom": b"\xfe\xff", "doc": b"K\xf6ln\x18\x80",
                 "utf8": b"\xef\xbb\xbfStra\xc3\x9fe \xf0\x9f\x98\x80", "plain": "Zürich".encode()},
        "date": {"full": b"\x00\x00\x00\x80\x00\x00\x00\x00D:20240115143000+01'00'",
                 "utc": b"\x01\x02\x03\x04\x05\x06\x07\x08D:20380119031408Z", "year": b"D:2024",
                 "minutes": b"D:202401151430-05'30"},
        "msgfile": {"Pendrel.msg": open(os.path.join(os.path.dirname(__file__), "..", "resources",
                                                     "Pendrel.msg"), "rb").read(),
                    "small.msg": b"header\n# comment\n128 = one\r\n1128=zwei\nkey = value \n\n129"},
    }
    with tempfile.TemporaryDirectory() as work:
        seeds.update(openssl_material(work))
        signed = signed_document(work)
        seeds["document"]["signed.pdf"] = signed
        seeds["verify"]["signed.pdf"] = signed
    seeds["bridge"] = bridge_sessions(signed)
    for target, files in seeds.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
