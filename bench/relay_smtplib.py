"""Reference relay: one post sent to MEMBERS members through ONE smtplib
session (STARTTLS, AUTH once, RSET between copies), one copy per member with
its own To:, as a mailing-list server that keeps its session would. Without
CAFILE USER PASSWORD the session stays plain and unauthenticated.
Usage: relay_smtplib.py HOST PORT MEMBERS BODY_BYTES [CAFILE USER PASSWORD]
       relay_smtplib.py probe HOST PORT COUNT   (median NOOP round trip)
Members are member0@example.org ... like bench_distribution's."""
import smtplib
import ssl
import statistics
import sys
import time


def probe(host, port, count):
    with smtplib.SMTP(host, port, timeout=60) as s:
        s.ehlo()
        times = []
        for _ in range(count):
            t0 = time.monotonic()
            s.noop()
            times.append(time.monotonic() - t0)
    print("round trip %.1f ms (median of %d NOOPs)" % (statistics.median(times) * 1000, count))


def relay(host, port, members, size, cafile=None, user=None, password=None):
    line = b"The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGHIJK\r\n"
    body = (line * (size // len(line) + 1))[:size]
    head = b"From: <list@example.org>\r\nReply-To: <list@example.org>\r\nSubject: Submission from member0@example.org - Benchmark\r\n"
    failures = 0
    t0 = time.monotonic()
    with smtplib.SMTP(host, port, timeout=60) as s:
        if cafile:
            s.starttls(context=ssl.create_default_context(cafile=cafile))
        if user:
            s.login(user, password)
        for i in range(members):
            to = "member%d@example.org" % i
            if i:
                s.rset()
            try:
                s.sendmail("list@example.org", [to], head + b"To: <" + to.encode() + b">\r\n\r\n" + body)
            except smtplib.SMTPException as e:
                failures += 1
                if failures <= 3:
                    print("member %d: %s" % (i, e), file=sys.stderr)
    elapsed = time.monotonic() - t0
    print("relay_smtplib: %d deliveries in %.3f s, %.0f deliveries/s, %d failures"
          % (members - failures, elapsed, (members - failures) / elapsed, failures))
    return 1 if failures else 0


if sys.argv[1] == "probe":
    probe(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
else:
    sys.exit(relay(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), *sys.argv[5:8]))
