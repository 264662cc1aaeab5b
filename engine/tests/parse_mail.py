#!/usr/bin/env python3
"""Reads a message the list sent, as a mail program would, and prints what
the tests check: every header (name TAB value, unfolded and decoded), the
address and subject of the List-Unsubscribe mailto, and the References of a
reply made to the message the way mail programs make one."""
import email
import email.policy
import sys
from email.message import EmailMessage
from urllib.parse import parse_qs, unquote, urlsplit

with open(sys.argv[1], "rb") as f:
    msg = email.message_from_bytes(f.read(), policy=email.policy.default)

for name, value in msg.items():
    print(f"{name}\t{value}")

unsub = msg.get("List-Unsubscribe")
if unsub:
    url = urlsplit(str(unsub).strip().split(">")[0].lstrip("<"))
    print(f"unsubscribe-scheme\t{url.scheme}")
    print(f"unsubscribe-to\t{unquote(url.path)}")
    print(f"unsubscribe-subject\t{parse_qs(url.query).get('subject', [''])[0]}")

reply = EmailMessage(policy=email.policy.default)
reply["From"] = "member@example.org"
reply["To"] = str(msg.get("Reply-To", msg.get("From")))
reply["Subject"] = "Re: " + str(msg["Subject"])
refs = str(msg.get("References", "")).split()
if msg.get("Message-ID"):
    reply["In-Reply-To"] = str(msg["Message-ID"])
    refs.append(str(msg["Message-ID"]))
if refs:
    reply["References"] = " ".join(refs)
reply.set_content("Agreed.\n")
again = email.message_from_bytes(reply.as_bytes(), policy=email.policy.default)
print(f"reply-references\t{again.get('References', '')}")
