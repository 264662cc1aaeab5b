"""An SMTP sink for the tests: accepts every message and stores it exactly.

Each message becomes N.eml (the data bytes as received, CR LF kept, dots
un-stuffed) and N.json (HELO argument, MAIL FROM, RCPT TO list), written
before the 250 reply so a client that saw 250 finds both files. Recipients
whose local part starts with "refused" get 550 at RCPT, those starting with
"busy" 451.
"""
import argparse
import json
import os
import signal

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP


class Handler:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refused"):
            return "550 5.1.1 Recipient refused"
        if address.startswith("busy"):
            return "451 4.3.2 Try again later"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, "%06d" % self.count)
        meta = {"helo": session.host_name, "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content or b"")
        with open(base + ".json", "w") as f:
            json.dump(meta, f)
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--address", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--dir", required=True)
    a = p.parse_args()
    # Long lines and large attachments are part of what the tests send.
    SMTP.line_length_limit = 1 << 20

    class Sink(Controller):
        def factory(self):
            return SMTP(self.handler, data_size_limit=None, enable_SMTPUTF8=False, decode_data=False)

    stop = {signal.SIGTERM, signal.SIGINT}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop)  # the server thread inherits the mask
    c = Sink(Handler(a.dir), hostname=a.address, port=a.port, ready_timeout=10)
    c.start()
    try:
        signal.sigwait(stop)
    finally:
        c.stop()


if __name__ == "__main__":
    main()
