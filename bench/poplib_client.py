#!/usr/bin/python3
"""Reference POP3 client for the fetch benchmark: Python's poplib doing what
bench_pop3 does with the library (login, UIDL, RETR + DELE each, QUIT),
writing each message to a file. Prints "messages/s R" last. With a CA file
as the seventh argument it uses implicit TLS (poplib.POP3_SSL)."""
import poplib
import ssl
import sys
import time


def main():
    host, port, user, password, count, directory = sys.argv[1:7]
    count = int(count)
    start = time.monotonic()  # the TLS context is made inside the timing, as the library makes its own
    if len(sys.argv) > 7:
        context = ssl.create_default_context(cafile=sys.argv[7])
        pop = poplib.POP3_SSL(host, int(port), context=context)
    else:
        pop = poplib.POP3(host, int(port))
    pop.user(user)
    pop.pass_(password)
    pop.uidl()
    for n in range(1, count + 1):
        _, lines, _ = pop.retr(n)
        with open(f"{directory}/m{n}.NEW", "wb") as f:
            f.write(b"\r\n".join(lines) + b"\r\n")
        pop.dele(n)
    pop.quit()
    elapsed = time.monotonic() - start
    print(f"messages/s {count / elapsed:.1f}")


if __name__ == "__main__":
    main()
