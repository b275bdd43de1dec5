"""Sends a recorded replay to a fresh real pingel-portal as the game sends a score (a member
added, the build the replay names listed) and expects it proven ("0"), listed with its
link to watch it, and served byte for byte at /spel/ID. Exits with 1, saying why, when not.

Usage: /usr/bin/python3 prove_replay.py PINGEL_PORTAL REPLAY_FILE"""

import re
import sys

from portal_process import Portal, highscore_body

EMAIL, NICKNAME, PASSWORD = "replay@example.org", "Inspelad", "hemligt3"


def prove(binary, recorded):
    """The score's id on the portal; raises when the portal does not prove and serve it."""
    portal = Portal(binary)
    try:
        portal.command("member", "add", EMAIL, NICKNAME, stdin=PASSWORD + "\n")
        body, build = highscore_body(EMAIL, PASSWORD, recorded)
        portal.command("build", "add", str(build[0]), str(build[1]))
        portal.start()
        status, reply = portal.post("/r0002.asp", body)
        if (status, reply) != (200, b"0"):
            raise AssertionError(f"the portal answered {status} {reply!r}, not 200 \"0\"")
        status, _, page = portal.get("/")
        link = re.search(r'href="/spela/\?spel=(\d+)"', page.decode("utf-8"))
        if status != 200 or not link:
            raise AssertionError("no link to watch the proven game on the portal's list")
        status, _, served = portal.get(f"/spel/{link.group(1)}")
        if (status, served) != (200, recorded):
            raise AssertionError(f"/spel/{link.group(1)} answered {status} with {len(served)} "
                                 f"bytes, not the {len(recorded)} sent")
        return link.group(1)
    finally:
        portal.close()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[2], "rb") as f:
        recorded = f.read()
    try:
        score_id = prove(sys.argv[1], recorded)
    except (AssertionError, RuntimeError) as e:
        print(f"prove_replay: {e}", file=sys.stderr)
        return 1
    print(f"proven and served as /spel/{score_id}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
