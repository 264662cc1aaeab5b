#!/usr/bin/python3
"""Writes the saved inputs the fuzz replay runs in every build: hand-made
edge cases of the MIME text rules, and deterministic mutants (cut, bytes
changed, lines doubled) of the message corpora. Run again after changing it.
"""
import glob
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", "..", ".."))
HEAD = b"From: a@example.org\r\nTo: l@example.org\r\nSubject: s\r\n"

cases = {
    "2231-huge-section": b"Content-Type: application/x; name*99999999999=a; name*0*=x'y'%Z; name*=''%\r\n\r\nb\r\n.\r\n",
    "2231-gaps": b"Content-Disposition: attachment; filename*3*=%41; filename*0*=utf-8'en'%C3; filename*1=\"\"\r\n\r\n.\r\n",
    "encoded-words-broken": b"Subject: =?=?UTF-8?B?====?= =?UTF-8?Q?=E?= =?x?q?a?= =??B??= =?UTF-8*?B?QQ==?=\r\n\r\n.\r\n",
    "qp-edges": b"Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n=\r\n==\r\n=4\r\n=G1=\r\n=C3=\r\n=A9 \t \r\n.\r\n",
    "iso2022-broken": b"Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$B\x1b(\x1b$BF|\r\n\x1b\r\n.\r\n",
    "utf7": b"Content-Type: text/plain; charset=UTF-7\r\n\r\n+ZeVnLIqe-+AAA-+\r\n.\r\n",
    "comments-nested": b"Content-Type: (a(b(c\\)d)e) multipart/mixed (x; boundary=\"q\" (y)); boundary=\"z\" (\r\n\r\n--z\r\n\r\nt\r\n--z--\r\n.\r\n",
    "quoted-unclosed": b"Content-Type: multipart/mixed; boundary=\"abc\r\n\r\n--abc\r\n\r\nx\r\n.\r\n",
    "empty-boundary": b"Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\n\r\n----\r\n.\r\n",
    "single-part-binary": b"Content-Type: application/octet-stream\r\n\r\n\x00\x01\x02\r\n..\r\n.\r\n",
    "single-part-base64-text-bad": b"Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD*\r\n.\r\n",
    "rfc822-unnamed": b"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\n..\r\n--b--\r\n.\r\n",
    "same-names": b"Content-Type: multipart/mixed; boundary=b\r\n\r\n" + b"".join(
        b"--b\r\nContent-Disposition: attachment; filename=\"x\"\r\n\r\nd\r\n" for _ in range(5)) + b"--b--\r\n.\r\n",
    "long-name": b"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: image/png; name=\"" + b"n" * 600 + b".png\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n--b--\r\n.\r\n",
}

# Nested deeper than the decoder follows, and just as deep as it does.
for depth in (7, 8, 30):
    body = b""
    for i in range(depth):
        body += b"--b%d\r\nContent-Type: multipart/mixed; boundary=b%d\r\n\r\n" % (i, i + 1)
    body += b"--b%d\r\nContent-Type: text/plain\r\n\r\ndeep\r\n" % depth
    cases["nested-%d" % depth] = b"Content-Type: multipart/mixed; boundary=b0\r\n\r\n" + body + b".\r\n"

for name, data in cases.items():
    with open(os.path.join(HERE, name + ".eml"), "wb") as f:
        f.write(data if data.startswith(b"Subject") else HEAD + data)

rng = random.Random(11)
sources = sorted(glob.glob(os.path.join(ROOT, "tests", "mail-corpus", "*.eml")))
for path in sources:
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data = data[:6000] + b"\r\n.\r\n"
    stem = os.path.basename(path)[:2]
    cut = data[: rng.randrange(len(data))]
    flipped = bytearray(data)
    for _ in range(12):
        flipped[rng.randrange(len(flipped))] = rng.randrange(256)
    lines = data.split(b"\r\n")
    doubled = b"\r\n".join(l + b"\r\n" + l if rng.random() < 0.1 else l for l in lines)
    for kind, mutant in (("cut", cut), ("flip", flipped), ("dup", doubled)):
        with open(os.path.join(HERE, "mutant-%s-%s.eml" % (stem, kind)), "wb") as f:
            f.write(bytes(mutant))
