"""Reference client: N sequential smtplib sessions, one message each.
With CAFILE USER PASSWORD after the size: STARTTLS on port 587 and AUTH."""
import smtplib
import ssl
import sys
import time

host, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
secure = sys.argv[4:7]
line = b"The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGHIJK\r\n"
body = (line * (size // len(line) + 1))[:size]
msg = b"Subject: Benchmark message\r\nFrom: <bench@example.com>\r\nTo: <sink@example.org>\r\n\r\n" + body
t0 = time.monotonic()
for _ in range(count):
    if secure:
        # A context per session, as the library verifies afresh each time.
        with smtplib.SMTP(host, 587) as s:
            s.starttls(context=ssl.create_default_context(cafile=secure[0]))
            s.login(secure[1], secure[2])
            s.sendmail("bench@example.com", ["sink@example.org"], msg)
        continue
    with smtplib.SMTP(host, 25) as s:
        s.sendmail("bench@example.com", ["sink@example.org"], msg)
s = time.monotonic() - t0
print("smtplib: %d messages in %.3f s, %.0f messages/s" % (count, s, count / s))
