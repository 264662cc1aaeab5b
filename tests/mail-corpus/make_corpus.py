#!/usr/bin/python3
"""Writes the corpus of posts as common mail programs send them: desktop
clients, webmail, phones and mailing software, each in its own header idioms.
Every message comes from the member ann@example.org; its subject starts with
its number so the received copy can be matched. Contents are deterministic.
Run it again after changing it; the .eml files are committed.
"""
import base64
import os
import quopri

HERE = os.path.dirname(os.path.abspath(__file__))
FROM = "From: Ann Example <ann@example.org>\nTo: list@example.org\n"


def data(n, seed):
    return bytes((i * seed + i // 7) % 256 for i in range(n))


def b64(raw):
    text = base64.b64encode(raw).decode()
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\n"


def qp(text, charset):
    return quopri.encodestring(text.encode(charset)).decode("ascii")


def jpeg(n):
    return b"\xff\xd8\xff\xe0" + data(n, 13)


def png(n):
    return b"\x89PNG\r\n\x1a\n" + data(n, 29)


MESSAGES = {}

MESSAGES["01-apple-unquoted.eml"] = FROM + """Subject: c01 trip photos
Mime-Version: 1.0 (Apple Message framework v1085)
Content-Type: multipart/mixed; boundary=Apple-Mail-13-196941151

--Apple-Mail-13-196941151
Content-Transfer-Encoding: 7bit
Content-Type: text/plain;
\tcharset=us-ascii

Here are the pictures from Saturday.
.A line that starts with a dot.

--Apple-Mail-13-196941151
Content-Disposition: inline;
\tfilename=IMG_0001.jpg
Content-Type: image/jpeg;
\tx-unix-mode=0644;
\tname="IMG_0001.jpg"
Content-Transfer-Encoding: base64

""" + b64(jpeg(5000)) + """
--Apple-Mail-13-196941151--
"""

MESSAGES["02-outlook-folded.eml"] = FROM + """Subject: c02 Gruesse
MIME-Version: 1.0
Content-Type: multipart/related;
\ttype="multipart/alternative";
\tboundary="----=_NextPart_000_0012_01D9A1B2.3C4D5E60"
X-Mailer: Microsoft Outlook 16.0

This is a multi-part message in MIME format.

------=_NextPart_000_0012_01D9A1B2.3C4D5E60
Content-Type: multipart/alternative;
\tboundary="----=_NextPart_001_0013_01D9A1B2.3C4D5E60"


------=_NextPart_001_0013_01D9A1B2.3C4D5E60
Content-Type: text/plain;
\tcharset="iso-8859-1"
Content-Transfer-Encoding: quoted-printable

""" + qp("Grüße aus München!\nDas Café öffnet um 9 Uhr; Preis = 3 DM; Größe ½.\n", "iso-8859-1") + """
------=_NextPart_001_0013_01D9A1B2.3C4D5E60
Content-Type: text/html;
\tcharset="iso-8859-1"
Content-Transfer-Encoding: quoted-printable

""" + qp("<html><body><p>Grüße aus München!</p><img src=\"cid:image001.png@01D9A1B2.3C4D5E60\"></body></html>\n", "iso-8859-1") + """
------=_NextPart_001_0013_01D9A1B2.3C4D5E60--

------=_NextPart_000_0012_01D9A1B2.3C4D5E60
Content-Type: image/png;
\tname="image001.png"
Content-Transfer-Encoding: base64
Content-ID: <image001.png@01D9A1B2.3C4D5E60>

""" + b64(png(1200)) + """
------=_NextPart_000_0012_01D9A1B2.3C4D5E60--
"""

long_line = "Dies ist eine sehr lange Zeile ohne Umbruch, wie Webmailer sie schreiben: " + "äöü " * 300
MESSAGES["03-webmail-alternative.eml"] = FROM + """Subject: c03 Webmail note
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="000000000000a1b2c3d4e5f60718"

--000000000000a1b2c3d4e5f60718
Content-Type: text/plain; charset="UTF-8"
Content-Transfer-Encoding: quoted-printable

""" + qp("Café = good\nNaïve résumé — “quotes” ✓\n" + long_line + "\n", "utf-8") + """
--000000000000a1b2c3d4e5f60718
Content-Type: text/html; charset="UTF-8"
Content-Transfer-Encoding: quoted-printable

""" + qp("<div dir=\"ltr\">Café = good<br>Naïve résumé</div>\n", "utf-8") + """
--000000000000a1b2c3d4e5f60718--
"""

MESSAGES["04-phone-photo-only.eml"] = FROM + """Subject: c04
Content-Type: multipart/mixed; boundary="Apple-Mail-5A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"
Content-Transfer-Encoding: 7bit
Mime-Version: 1.0 (1.0)
X-Mailer: iPhone Mail (20A362)

--Apple-Mail-5A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D
Content-Type: image/jpeg;
\tname=IMG_4711.jpeg;
\tx-apple-part-url=1A2B3C4D-5E6F-4A5B-8C7D-9E0F1A2B3C4D
Content-Disposition: inline;
\tfilename=IMG_4711.jpeg
Content-Transfer-Encoding: base64

""" + b64(jpeg(9000)) + """
--Apple-Mail-5A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D--
"""

MESSAGES["05-single-part-photo.eml"] = FROM + """Subject: c05 photo
MIME-Version: 1.0
Content-Type: image/jpeg; name="beach.jpg"
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename="beach.jpg"

""" + b64(jpeg(3000))

MESSAGES["06-japanese.eml"] = FROM + """Subject: c06 =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=
MIME-Version: 1.0
Content-Type: text/plain; charset=ISO-2022-JP
Content-Transfer-Encoding: 7bit

""" + "こんにちは、皆さん。\n来週の会議は火曜日です。\n".encode("iso-2022-jp").decode("ascii")

korean_text = "안녕하세요 여러분.\n다음 모임은 화요일입니다.\n"
MESSAGES["07-korean-outlook.eml"] = FROM + """Subject: c07 =?ks_c_5601-1987?B?x9GxuQ==?=
MIME-Version: 1.0
Content-Type: multipart/mixed;
\tboundary="----=_NextPart_000_0001_01D9C0DE.12345670"

------=_NextPart_000_0001_01D9C0DE.12345670
Content-Type: text/plain;
\tcharset="ks_c_5601-1987"
Content-Transfer-Encoding: base64

""" + b64(korean_text.replace("\n", "\r\n").encode("cp949")) + """
------=_NextPart_000_0001_01D9C0DE.12345670
Content-Type: application/pdf;
\tname="=?EUC-KR?B?ua68rS5wZGY=?="
Content-Transfer-Encoding: base64
Content-Disposition: attachment;
\tfilename="=?EUC-KR?B?ua68rS5wZGY=?="

""" + b64(b"%PDF-1.4\n" + data(2500, 7)) + """
------=_NextPart_000_0001_01D9C0DE.12345670--
"""

MESSAGES["08-rfc2231-names.eml"] = FROM + """Subject: c08 documents
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="=-=-=__x2231__=-=-="

--=-=-=__x2231__=-=-=
Content-Type: text/plain; charset=windows-1252
Content-Transfer-Encoding: 8bit

""" + "Attached are the “final” documents – see both files.\n" + """
--=-=-=__x2231__=-=-=
Content-Type: application/octet-stream
Content-Disposition: attachment;
 filename*0*=utf-8''Jahresbericht%20f%C3%BCr%20die%20;
 filename*1*=Mitgliederversammlung%202026;
 filename*2=".pdf"
Content-Transfer-Encoding: base64

""" + b64(b"%PDF-1.4\n" + data(4000, 11)) + """
--=-=-=__x2231__=-=-=
Content-Type: text/csv; name*=utf-8''%E5%90%8D%E7%B0%BF.csv
Content-Disposition: attachment; filename*=utf-8''%E5%90%8D%E7%B0%BF.csv
Content-Transfer-Encoding: quoted-printable

name,email=0D
Ann,ann@example.org=0D
--=-=-=__x2231__=-=-=--
"""

MESSAGES["09-forwarded.eml"] = FROM + """Subject: c09 Fwd: minutes
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="------------F0rw4rd3dM3ss4g3"
User-Agent: Mozilla/5.0 Thunderbird/115.0

This is a multi-part message in MIME format.
--------------F0rw4rd3dM3ss4g3
Content-Type: text/plain; charset=UTF-8; format=flowed
Content-Transfer-Encoding: 7bit

See the forwarded minutes below.

--------------F0rw4rd3dM3ss4g3
Content-Type: message/rfc822; name="minutes.eml"
Content-Disposition: attachment; filename="minutes.eml"

From: Bob <bob@example.net>
To: board@example.net
Subject: Minutes of the board meeting
Date: Mon, 30 Nov 2026 18:00:00 +0100
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii

The board met and agreed on the budget.
.
Bob

--------------F0rw4rd3dM3ss4g3--
"""

MESSAGES["10-same-name.eml"] = FROM + """Subject: c10 two screenshots
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="sameNameBoundary"

--sameNameBoundary
Content-Type: text/plain; charset=us-ascii

Two screenshots, both called image.png by my client.
--sameNameBoundary
Content-Type: image/png; name="image.png"
Content-Disposition: attachment; filename="image.png"
Content-Transfer-Encoding: base64

""" + b64(png(700)) + """--sameNameBoundary
Content-Type: image/png; name="image.png"
Content-Disposition: attachment; filename="image.png"
Content-Transfer-Encoding: base64

""" + b64(png(900)[::-1]) + """--sameNameBoundary--
"""

MESSAGES["11-gzip-single.eml"] = FROM + """Subject: c11 logs
MIME-Version: 1.0
Content-Type: application/x-gzip
Content-Disposition: attachment; filename=logs.tar.gz
Content-Transfer-Encoding: base64

""" + b64(b"\x1f\x8b\x08\x00" + data(6000, 17))

MESSAGES["12-html-only-alternative.eml"] = FROM + """Subject: c12 newsletter
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="b1_html_only"

--b1_html_only
Content-Type: text/html; charset=utf-8
Content-Transfer-Encoding: quoted-printable

""" + qp("<html><body><h1>Neuigkeiten</h1><p>Die Sitzung ist am Dienstag – bitte anmelden.</p></body></html>\n", "utf-8") + """
--b1_html_only--
"""

MESSAGES["13-base64-text.eml"] = FROM + """Subject: c13 from my phone
MIME-Version: 1.0
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: base64

""" + b64("Sent from a phone that writes base64: ¡Hola! Ünïcödé ✓\r\nSecond line.\r\n".encode("utf-8"))

MESSAGES["14-mailing-software.eml"] = FROM + """Subject: c14 Monthly report
MIME-Version: 1.0
Content-Type:  Multipart/Mixed ; BOUNDARY="outer_1"

--outer_1
Content-Type: multipart/related; boundary="related_2"

--related_2
Content-Type: multipart/alternative; boundary=alt_3

--alt_3
Content-Type: text/plain; charset=windows-1252
Content-Transfer-Encoding: quoted-printable

""" + qp("Monthly report – 15 € per member, “paid” in full.\n", "cp1252") + """
--alt_3
Content-Type: text/html; charset=windows-1252
Content-Transfer-Encoding: quoted-printable

""" + qp("<p>Monthly report – 15 €</p>\n", "cp1252") + """
--alt_3--

--related_2
Content-Type: image/gif
Content-Transfer-Encoding: base64
Content-ID: <logo>

""" + b64(b"GIF89a" + data(400, 3)) + """
--related_2--

--outer_1
Content-Type: application/pdf; name="report.pdf"
Content-Disposition: attachment; filename="report.pdf"
Content-Transfer-Encoding: base64

""" + b64(b"%PDF-1.4\n" + data(8000, 5)) + """
--outer_1--
"""

MESSAGES["15-undeclared-8bit.eml"] = FROM + """Subject: c15 old client
Content-Type: text/plain
Content-Transfer-Encoding: 8bit

""" + "Meine Adresse hat sich geändert: Straße 5, Köln.\n"

MESSAGES["16-sjis-encoded-name.eml"] = FROM + """Subject: c16 =?UTF-8?Q?Men=C3=BC?=
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="sjis-boundary"

--sjis-boundary
Content-Type: text/plain; charset=Shift_JIS
Content-Transfer-Encoding: 8bit

""" + "メニューを添付します。\n" + """
--sjis-boundary
Content-Type: application/vnd.ms-excel; name="=?UTF-8?Q?Men=C3=BC_2026.xls?="
Content-Disposition: attachment; filename="=?UTF-8?Q?Men=C3=BC_2026.xls?="
Content-Transfer-Encoding: base64

""" + b64(b"\xd0\xcf\x11\xe0" + data(3000, 23)) + """
--sjis-boundary--
"""

CHARSETS = {"08-rfc2231-names.eml": "cp1252", "15-undeclared-8bit.eml": "latin-1",
            "16-sjis-encoded-name.eml": "shift_jis"}

for name, text in MESSAGES.items():
    raw = text.encode(CHARSETS.get(name, "ascii"))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(raw.replace(b"\n", b"\r\n"))
