"""An SMTP sink for the tests: accepts every message and stores it exactly.

Each message becomes N.eml (the data bytes as received, CR LF kept, dots
un-stuffed) and N.json (HELO argument, MAIL FROM, RCPT TO list, whether the
session ran over TLS, the user it authenticated as), written before the 250
reply so a client that saw 250 finds both files. Recipients whose local part
starts with "refused" get 550 at RCPT, those starting with "busy" 451.
N.json also names the connection (the client's address and port).

Fault switches for sessions that carry several messages: --close-after N
closes a connection after its Nth message; --mail-421-after N answers 421
to a MAIL after N messages on the connection and closes it; --pipelining
offers PIPELINING in the EHLO answer.

A provider's limits: --refuse-after N takes N recipients and answers every
later RCPT with --refusal (a daily quota by default), until the sink is
started anew; --reply ADDRESS=REPLY answers that recipient's RCPT with REPLY
(repeatable), and "%s" in REPLY becomes the address.

With --tls-mode starttls the server offers STARTTLS and demands it before
anything but EHLO; with tls it speaks TLS from the start. --auth USER:PASSWORD
demands authentication (PLAIN or LOGIN), offered only over TLS unless the
mode is plain.
"""
import argparse
import asyncio
import json
import os
import signal
import ssl

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class Handler:
    def __init__(self, directory, close_after=0, mail_421_after=0, pipelining=False, refuse_after=0,
                 refusal="", replies=None):
        self.directory = directory
        # A sink started anew over the same directory goes on numbering.
        self.count = len([f for f in os.listdir(directory) if f.endswith(".eml")])
        self.refuse_after = refuse_after
        self.refusal = refusal
        self.replies = replies or {}
        self.taken = 0
        self.close_after = close_after
        self.mail_421_after = mail_421_after
        self.pipelining = pipelining
        self.per_connection = {}

    @staticmethod
    def connection(session):
        return "%s:%d" % tuple(session.peer[:2])

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.pipelining:
            responses.insert(len(responses) - 1, "250-PIPELINING")
        return responses

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.mail_421_after and self.per_connection.get(self.connection(session), 0) >= self.mail_421_after:
            # The reply goes out first, then the connection closes.
            asyncio.get_running_loop().call_soon(server.transport.close)
            return "421 4.7.0 Too many messages on this connection"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.replies:
            return self.replies[address.lower()].replace("%s", address)
        if self.refuse_after and self.taken >= self.refuse_after:
            return self.refusal
        if address.startswith("refused"):
            return "550 5.1.1 Recipient refused"
        if address.startswith("busy"):
            return "451 4.3.2 Try again later"
        envelope.rcpt_tos.append(address)
        self.taken += 1
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, "%06d" % self.count)
        meta = {"helo": session.host_name, "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                "tls": server.transport.get_extra_info("ssl_object") is not None,
                "auth_user": session.auth_data.login.decode("latin-1") if session.auth_data else None,
                "connection": self.connection(session)}
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content or b"")
        with open(base + ".json", "w") as f:
            json.dump(meta, f)
        os.rename(base + ".tmp", base + ".eml")
        key = self.connection(session)
        self.per_connection[key] = self.per_connection.get(key, 0) + 1
        if self.close_after and self.per_connection[key] >= self.close_after:
            asyncio.get_running_loop().call_soon(server.transport.close)
        return "250 OK"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--address", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--dir", required=True)
    p.add_argument("--tls-mode", choices=["plain", "starttls", "tls"], default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--auth")
    p.add_argument("--close-after", type=int, default=0)
    p.add_argument("--mail-421-after", type=int, default=0)
    p.add_argument("--pipelining", action="store_true")
    p.add_argument("--refuse-after", type=int, default=0)
    p.add_argument("--refusal", default="550 5.4.5 Daily user sending quota exceeded.")
    p.add_argument("--reply", action="append", default=[])
    a = p.parse_args()
    # Long lines and large attachments are part of what the tests send.
    SMTP.line_length_limit = 1 << 20

    context = None
    if a.tls_mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)

    def authenticator(server, session, envelope, mechanism, data):
        user, _, password = a.auth.partition(":")
        ok = data.login == user.encode() and data.password == password.encode()
        return AuthResult(success=ok, handled=False, auth_data=data if ok else None)

    class Sink(Controller):
        def factory(self):
            options = dict(data_size_limit=None, enable_SMTPUTF8=False, decode_data=False)
            if a.tls_mode == "starttls":
                options.update(tls_context=context, require_starttls=True, auth_require_tls=True)
            if a.tls_mode == "tls":
                options.update(tls_context=None, auth_require_tls=False)
            if a.auth:
                options.update(authenticator=authenticator, auth_required=True)
                if a.tls_mode == "plain":
                    options.update(auth_require_tls=False)
            return SMTP(self.handler, **options)

    stop = {signal.SIGTERM, signal.SIGINT}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop)  # the server thread inherits the mask
    extra = {"ssl_context": context} if a.tls_mode == "tls" else {}
    replies = dict((k.lower(), v) for k, _, v in (r.partition("=") for r in a.reply))
    handler = Handler(a.dir, a.close_after, a.mail_421_after, a.pipelining, a.refuse_after, a.refusal, replies)
    c = Sink(handler, hostname=a.address, port=a.port, ready_timeout=10, **extra)
    c.start()
    try:
        signal.sigwait(stop)
    finally:
        c.stop()


if __name__ == "__main__":
    main()
