"""Servers that misbehave over TLS in ways real servers will not on demand.

Every command line received is appended to DIR/commands.log as it arrives.

  pop3-drop    implicit TLS POP3: accepts any login, lists one message and
               drops the connection (no TLS close) half way through RETR.
  pop3-inject  plain POP3 that answers STLS with its +OK and a second line in
               the same write, as an attacker in the path would, then offers TLS.
  smtp-slow    implicit TLS SMTP with AUTH that takes the message data at
               about 2 MB/s, so the client's sending has to wait on TLS.
"""
import argparse
import os
import signal
import socket
import ssl
import threading
import time


def log(directory, line):
    with open(os.path.join(directory, "commands.log"), "ab") as f:
        f.write(line + b"\n")


class Lines:
    """CR LF lines from a socket; `pending` holds what came beyond the last."""

    def __init__(self, conn):
        self.conn = conn
        self.pending = b""

    def __iter__(self):
        while True:
            while b"\r\n" not in self.pending:
                piece = self.conn.recv(65536)
                if not piece:
                    return
                self.pending += piece
            line, self.pending = self.pending.split(b"\r\n", 1)
            yield line


def pop3_drop(conn, a):
    conn.sendall(b"+OK ready\r\n")
    for line in Lines(conn):
        log(a.dir, line)
        word = line.split(b" ")[0].upper()
        if word == b"UIDL":
            conn.sendall(b"+OK\r\n1 drop-1\r\n.\r\n")
        elif word == b"RETR":
            conn.sendall(b"+OK\r\nSubject: cut\r\n\r\n")
            for i in range(20000):
                conn.sendall(b"line %d of a message that never ends\r\n" % i)
            # Gone without closing TLS, as a broken link looks.
            conn.shutdown(socket.SHUT_RDWR)
            return
        elif word == b"QUIT":
            conn.sendall(b"+OK bye\r\n")
            return
        else:
            conn.sendall(b"+OK\r\n")


def pop3_inject(conn, a, context):
    conn.sendall(b"+OK ready\r\n")
    for line in Lines(conn):
        log(a.dir, line)
        if line.upper() == b"STLS":
            conn.sendall(b"+OK Begin TLS\r\n+OK injected\r\n")
            try:
                tls = context.wrap_socket(conn, server_side=True)
                for line in Lines(tls):
                    log(a.dir, b"TLS: " + line)
                    tls.sendall(b"+OK\r\n")
            except (ssl.SSLError, OSError):
                pass
            return
        conn.sendall(b"-ERR\r\n" if line.upper() != b"CAPA" else b"+OK\r\nSTLS\r\n.\r\n")


def smtp_slow(conn, a):
    conn.sendall(b"220 slow\r\n")
    reader = Lines(conn)
    for line in reader:
        log(a.dir, line)
        word = line.split(b" ")[0].upper()
        if word == b"EHLO":
            conn.sendall(b"250-slow\r\n250 AUTH PLAIN\r\n")
        elif word == b"AUTH":
            conn.sendall(b"235 ok\r\n")
        elif word == b"DATA":
            conn.sendall(b"354 go\r\n")
            data = reader.pending
            while not data.endswith(b"\r\n.\r\n"):
                time.sleep(0.002)
                piece = conn.recv(4096)
                if not piece:
                    return
                data += piece
            reader.pending = b""
            with open(os.path.join(a.dir, "data.eml"), "wb") as f:
                f.write(data)
            conn.sendall(b"250 taken\r\n")
        elif word == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            return
        else:
            conn.sendall(b"250 ok\r\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--mode", required=True, choices=["pop3-drop", "pop3-inject", "smtp-slow"])
    p.add_argument("--address", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--dir", required=True)
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    a = p.parse_args()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(a.cert, a.key)
    listener = socket.create_server((a.address, a.port))

    def serve(raw):
        try:
            if a.mode == "pop3-inject":
                pop3_inject(raw, a, context)
                return
            conn = context.wrap_socket(raw, server_side=True)
            (pop3_drop if a.mode == "pop3-drop" else smtp_slow)(conn, a)
        except (ssl.SSLError, OSError):
            pass
        finally:
            raw.close()

    def accept():
        while True:
            raw, _ = listener.accept()
            threading.Thread(target=serve, args=(raw,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    signal.sigwait({signal.SIGTERM, signal.SIGINT})


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    main()
