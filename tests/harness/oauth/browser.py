#!/usr/bin/python3
"""Plays the person at the browser for the OAuth tests: opens URL, follows
redirects and submits each page's form (signing in as ACCOUNT), until a page
without a form comes, which is printed. The loopback redirect at the end of
the code flow is fetched like any page, as a browser would.

    browser.py URL CAFILE ACCOUNT
"""
import html.parser
import http.cookiejar
import ssl
import sys
import urllib.parse
import urllib.request


class Forms(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.forms = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form":
            self.forms.append({"action": a.get("action", ""), "method": a.get("method", "get").lower(), "fields": []})
        elif self.forms and tag in ("input", "button"):
            name = a.get("name")
            if not name or name == "abort":
                return
            kind = a.get("type", "text" if tag == "input" else "submit")
            if kind == "submit" and any(f[2] == "submit" for f in self.forms[-1]["fields"]):
                return
            self.forms[-1]["fields"].append((name, a.get("value", ""), kind))


def main():
    url, cafile, account = sys.argv[1:4]
    context = ssl.create_default_context(cafile=cafile)
    opener = urllib.request.build_opener(
        urllib.request.HTTPSHandler(context=context),
        urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
    data = None
    for _ in range(20):
        with opener.open(url, data=data, timeout=30) as reply:
            url = reply.geturl()
            page = reply.read().decode("utf-8", "replace")
        parser = Forms()
        parser.feed(page)
        if not parser.forms:
            print(page)
            return 0
        form = parser.forms[0]
        fields = []
        for name, value, _ in form["fields"]:
            if name == "login":
                value = account
            elif name == "password":
                value = "any"
            fields.append((name, value))
        url = urllib.parse.urljoin(url, form["action"] or url)
        data = urllib.parse.urlencode(fields).encode()
        if form["method"] != "post":
            url += ("&" if "?" in url else "?") + data.decode()
            data = None
    print("too many pages", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
