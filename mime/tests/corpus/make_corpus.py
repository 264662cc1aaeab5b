#!/usr/bin/python3
"""Writes the message corpus of the MIME tests (and fuzzing seeds).

Messages are shaped like the mail common clients send, stored as a POP3
retrieval leaves them: CR LF lines, dot-stuffed, ending with the "." line
(except no-end-line.eml). Attachment contents are deterministic so the tests
can rebuild the originals: pdf(n) and png(n) below.
"""
import os
from email import policy
from email.mime.application import MIMEApplication
from email.mime.image import MIMEImage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

HERE = os.path.dirname(os.path.abspath(__file__))


def pdf(n):
    return b"%PDF-1.4\n" + bytes((i * 7) % 256 for i in range(n))


def png(n):
    return b"\x89PNG\r\n\x1a\n" + bytes((i * 13) % 256 for i in range(n))


def stuffed(raw):
    lines = raw.split(b"\r\n")
    return b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)


def save(name, msg, end_line=True):
    raw = msg if isinstance(msg, bytes) else msg.as_bytes(policy=policy.SMTP)
    raw = stuffed(raw)
    if not raw.endswith(b"\r\n"):
        raw += b"\r\n"
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(raw + (b".\r\n" if end_line else b""))


def headers(m, subject):
    m["From"] = "Ann Example <ann@example.org>"
    m["To"] = "list@example.org"
    m["Subject"] = subject
    m["Date"] = "Tue, 01 Dec 2026 10:00:00 +0000"


alt = MIMEMultipart("alternative", boundary="----=_Part_1_alt")
headers(alt, "submit client mail")
alt.attach(MIMEText("Hello list,\n.a line with a dot\nregards\n", "plain", "utf-8"))
alt.attach(MIMEText("<html><body><p>Hello list,</p></body></html>\n", "html", "utf-8"))
save("alternative.eml", alt)

mixed = MIMEMultipart("mixed", boundary="=_mixed")
headers(mixed, "submit with files")
mixed.attach(MIMEText("See the files.\n", "plain", "us-ascii"))
mixed.attach(MIMEApplication(pdf(5000), "pdf", Name="report.pdf"))
img = MIMEImage(png(3000), "png")
img.add_header("Content-Disposition", "attachment", filename="photo.png")
mixed.attach(img)
save("mixed-pdf-image.eml", mixed)

nested = MIMEMultipart("mixed", boundary="=_outer")
headers(nested, "submit nested")
inner = MIMEMultipart("alternative", boundary="=_outer_inner")
inner.attach(MIMEText("Nested text\n", "plain", "utf-8"))
inner.attach(MIMEText("<html><body>Nested</body></html>\n", "html", "utf-8"))
nested.attach(inner)
nested.attach(MIMEApplication(pdf(2000), "pdf", Name="C:\\Users\\ann\\nested.pdf"))
save("nested.eml", nested)

uu_lines = []
data = pdf(100)
for i in range(0, len(data), 45):
    chunk = data[i:i + 45]
    line = chr(32 + len(chunk))
    for g in range(0, len(chunk), 3):
        b = chunk[g:g + 3] + b"\0" * (3 - len(chunk[g:g + 3]))
        v = (b[0] << 16) | (b[1] << 8) | b[2]
        line += "".join(chr(32 + ((v >> s) & 63) or 96) if ((v >> s) & 63) else "`" for s in (18, 12, 6, 0))
    uu_lines.append(line)
uu_body = "begin 644 old.pdf\r\n" + "\r\n".join(uu_lines) + "\r\n`\r\nend\r\n"
save("uuencoded.eml",
     ("From: bob@example.org\r\nTo: list@example.org\r\nSubject: submit uu\r\n"
      "Content-Type: multipart/mixed; boundary=\"uu\"\r\n\r\n"
      "--uu\r\nContent-Type: text/plain\r\n\r\nold style\r\n"
      "--uu\r\nContent-Type: application/octet-stream; name=\"old.pdf\"\r\n"
      "Content-Transfer-Encoding: x-uuencode\r\n\r\n" + uu_body + "--uu--\r\n").encode())

save("folded-lowercase.eml",
     b"received: from a\r\n\tby b\r\nfrom: carol@example.org\r\nto: list@example.org\r\n"
     b"subject: submit a long\r\n  folded\r\n\tsubject\r\n"
     b"content-type:  multipart/mixed; boundary=\"x\"\r\n\r\n--x\r\n\r\nbody\r\n--x--\r\n")

save("unquoted-boundary.eml",
     b"From: dave@example.org\r\nSubject: submit\r\nContent-Type: multipart/mixed; boundary=plain42\r\n\r\n"
     b"--plain42\r\nContent-Type: text/plain\r\n\r\ntext\r\n--plain42--\r\n")

no_end = MIMEMultipart("mixed", boundary="=_noend")
headers(no_end, "submit no end line")
no_end.attach(MIMEText("Text\n", "plain", "us-ascii"))
no_end.attach(MIMEApplication(pdf(700), "pdf", Name="late.pdf"))
save("no-end-line.eml", no_end, end_line=False)
