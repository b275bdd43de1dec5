"""Two `pingel-portal serve` processes on one PostgreSQL database act as one portal: a
login made through one is known to the other, failed passwords counted by one throttle
the other, and a score sent to one is on the other's home page.

Run inside pg_virtualenv (the PG* variables name the cluster):
    two_portals.py PINGEL_PORTAL
Exits non-zero on the first difference."""

import http.cookiejar
import os
import re
import sys
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "web"))
from portal_checks import submission  # noqa: E402
from portal_process import Portal  # noqa: E402


def post(opener, url, data, content_type="application/x-www-form-urlencoded"):
    request = urllib.request.Request(url, data=data, headers={"Content-Type": content_type})
    with opener.open(request, timeout=10) as reply:
        return reply.read().decode("latin-1")


def login(opener, origin, email, password):
    with opener.open(origin + "/logga-in/", timeout=10) as reply:
        token = re.search(r'name="csrf" value="([0-9a-f]+)"', reply.read().decode()).group(1)
    form = urllib.parse.urlencode({"csrf": token, "tillbaka": "/useradm/", "epost": email,
                                   "losenord": password}).encode()
    return post(opener, origin + "/logga-in/", form)


def main():
    binary = sys.argv[1]
    # The score below comes without a replay (only the game plays one): ranked as before
    # proofs.
    a, b = (Portal(binary, database="postgresql://", serve_args=["--rank-unproven"])
            for _ in range(2))
    try:
        a.command("member", "add", "anna@example.se", "Anna", stdin="annasord\n")
        a.command("member", "add", "bo@example.se", "Bo", stdin="bo-hemlis\n")
        a.start()
        b.start()
        browser = urllib.request.build_opener(
            urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
        game = urllib.request.build_opener()

        checks = []
        login(browser, a.origin, "anna@example.se", "annasord")
        with browser.open(b.origin + "/useradm/", timeout=10) as reply:
            checks.append(("a login made on one is known to the other",
                           "anna@example.se" in reply.read().decode()))

        endpoint = "/r0002.asp"
        for _ in range(5):
            post(game, a.origin + endpoint, submission("bo@example.se", "fel", 500, 60000))
        reply = post(game, b.origin + endpoint, submission("bo@example.se", "bo-hemlis", 500, 60000))
        checks.append(("failed passwords on one throttle the other", reply.startswith("7")))

        reply = post(game, b.origin + endpoint, submission("anna@example.se", "annasord", 4321,
                                                          600000))
        home = a.get("/")[2].decode()
        checks.append(("a score sent to one is listed by the other",
                       reply.startswith("0") and "Anna" in home and "4321" in home))
    finally:
        a.close()
        b.close()
    for name, ok in checks:
        print(("ok   " if ok else "FAIL ") + name)
    return 0 if all(ok for _, ok in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
