#!/usr/bin/python3
"""Checks what a member received against the post that was sent.

    check_received.py SENT.eml RECEIVED.eml

Every text/plain part of the post that is its text (and a post that is HTML
itself) must be in the received text; every other part must arrive as an
attachment with its bytes and its name (a second part of the same name as
"name (2).ext"); every received part must declare the charset and transfer
encoding its bytes really are. Prints each problem and exits 1 if there was one.
"""
import email
import sys
from email import policy

problems = []


def leaves(msg):
    if msg.get_content_maintype() == "multipart":
        for part in msg.iter_parts():
            yield from leaves(part)
    else:
        yield msg


def norm_text(s):
    lines = s.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    return "\n".join(l.rstrip() for l in lines).strip("\n")


def norm_bytes(b, textual):
    return b.replace(b"\r\n", b"\n").rstrip(b"\n") if textual else b


def sent_text(part):
    """The text as its sender meant it: undeclared 8-bit text is UTF-8 when it
    is valid UTF-8, else Windows-1252."""
    charset = part.get_param("charset")
    if charset and charset.lower() not in ("us-ascii", "ascii"):
        return part.get_content()
    raw = part.get_payload(decode=True) or b""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", "replace")


def is_inline_text(part, top):
    if part.get_content_disposition() == "attachment":
        return False
    if part.get_content_type() == "text/plain":
        return True
    return part is top and part.get_content_type() == "text/html"


def content_bytes(part):
    return part.get_payload(decode=True) or b""


def with_number(name, n):
    if n == 1:
        return name
    dot = name.rfind(".")
    stem, ext = (name, "") if dot <= 0 else (name[:dot], name[dot:])
    return f"{stem} ({n}){ext}"


def check_declarations(received):
    if "Message-ID" not in received or not received["Message-ID"].startswith("<"):
        problems.append("no Message-ID")
    for part in leaves(received):
        cte = (part.get("Content-Transfer-Encoding") or "7bit").strip().lower()
        raw = part.get_payload(decode=False)
        raw = raw.encode("utf-8", "surrogateescape") if isinstance(raw, str) else bytes(raw)
        if cte == "7bit" and any(b >= 0x80 for b in raw):
            problems.append(f"{part.get_content_type()} declared 7bit carries 8-bit bytes")
        if cte in ("7bit", "8bit") and any(len(l) > 998 for l in raw.split(b"\n")):
            problems.append(f"{part.get_content_type()} has a line over 998 bytes")
        if part.get_content_maintype() == "text":
            charset = part.get_content_charset() or "us-ascii"
            try:
                part.get_payload(decode=True).decode(charset)
            except (UnicodeDecodeError, LookupError) as e:
                problems.append(f"{part.get_content_type()} is not {charset}: {e}")


def main(sent_path, received_path):
    with open(sent_path, "rb") as f:
        sent = email.message_from_bytes(f.read(), policy=policy.default)
    with open(received_path, "rb") as f:
        received = email.message_from_bytes(f.read(), policy=policy.default)

    check_declarations(received)

    got = list(leaves(received))
    body = got[0] if got and got[0].get_content_type() == "text/plain" else None
    text = norm_text(body.get_content()) if body is not None else ""
    files = [(p.get_filename(), p.get_payload(decode=True) or b"") for p in got if p is not body]

    seen = {}
    for part in leaves(sent):
        if is_inline_text(part, sent):
            want = norm_text(sent_text(part))
            if want not in text:
                problems.append(f"text missing: {want[:60]!r}\n  received text: {text[:300]!r}")
            continue
        if part.get_content_maintype() == "message":
            # A forwarded message arrives as a file of its own: its header and text.
            inner = part.get_payload(0)
            marks = [inner["Subject"].encode(), norm_text(inner.get_content()).split("\n")[0].encode()]
            if not any((n or "").lower().endswith(".eml") and all(m in b for m in marks) for n, b in files):
                problems.append(f"forwarded message missing; received {[n for n, _ in files]}")
            continue
        textual = part.get_content_maintype() == "text"
        want = norm_bytes(content_bytes(part), textual)
        name = part.get_filename()
        if name:
            seen[name] = seen.get(name, 0) + 1
            name = with_number(name, seen[name])
            match = [b for n, b in files if n == name]
            if not match:
                problems.append(f"attachment {name!r} missing; received {[n for n, _ in files]}")
                continue
            if norm_bytes(match[0], textual) != want:
                problems.append(f"attachment {name!r} differs")
        elif not any(norm_bytes(b, textual) == want for _, b in files):
            problems.append(f"unnamed {part.get_content_type()} part missing; received {[n for n, _ in files]}")

    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
