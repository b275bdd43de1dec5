"""Measures the browser build as a real pingel-portal serves it on loopback: what each file
of /spela/ costs on the wire when the client accepts gzip only (and what a cold load in
Chromium transferred, whatever encoding it chose), the time from the page's load event to
its first drawn frame (over several loads), and the median time between drawn frames while
a game runs, in headless Chromium. Given a replay (as `pingel-sim --record` writes one), it
is sent to the portal as the game sends a score, and the replay page /spela/?spel=ID is
measured too: its cold transfer and the time from its load event to its first drawn frame.
Usage: measure_web.py PORTAL_BINARY SITE_DIR [LOADS [REPLAY_FILE]]"""

import os
import re
import statistics
import sys
import time
import urllib.request

from browser_checks import Keys, press, start_browser, timings, wait_for
from portal_process import Portal, highscore_body


def wire_size(portal, name):
    """The body's bytes as sent to a client that accepts gzip, and its encoding."""
    request = urllib.request.Request(f"{portal.url}{name}", headers={"Accept-Encoding": "gzip"})
    with urllib.request.urlopen(request, timeout=10) as reply:
        return len(reply.read()), reply.headers.get("Content-Encoding", "none")


def first_frames(driver, url, loads):
    """The times (ms) from the load event to the first drawn frame over `loads` loads."""
    first = []
    for _ in range(loads):
        driver.get(url + ("&" if "?" in url else "?") + str(time.monotonic()))
        t = wait_for(lambda: timings(driver)["firstFrame"] and timings(driver)["load"] and timings(driver),
                     10, "the first frame")
        first.append(t["firstFrame"] - t["load"])
    return first


def cold_transfer(driver, url):
    """What a load with the cache off transferred, headers included."""
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    driver.get(url)
    wait_for(lambda: timings(driver)["firstFrame"], 10, "the first frame")
    time.sleep(0.5)  # the replay's own fetch ends after the first frame
    cold = driver.execute_script("""
        return performance.getEntriesByType('navigation').concat(
            performance.getEntriesByType('resource')).reduce((s, e) => s + e.transferSize, 0);""")
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": False})
    return cold


def watched_url(portal, replay_file):
    """Sends the recorded game as a score and returns its replay page's address."""
    with open(replay_file, "rb") as f:
        recorded = f.read()
    portal.command("member", "add", "mät@example.org", "Mätaren", stdin="hemligt3\n")
    body, build = highscore_body("mät@example.org", "hemligt3", recorded)
    portal.command("build", "add", str(build[0]), str(build[1]))
    status, reply = portal.post("/r0002.asp", body)
    assert (status, reply) == (200, b"0"), (status, reply)
    link = re.search(r'href="/spela/\?spel=(\d+)"', portal.get("/")[2].decode("utf-8"))
    return f"{portal.url}?spel={link.group(1)}"


def main():
    portal_binary, site_dir = sys.argv[1], sys.argv[2]
    loads = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    portal = Portal(portal_binary, site_dir).start()
    driver = start_browser()
    try:
        total = 0
        for name in sorted(os.listdir(site_dir)):
            size, encoding = wire_size(portal, name)
            total += size
            print(f"{name}: {os.path.getsize(os.path.join(site_dir, name))} bytes, "
                  f"{size} on the wire ({encoding})")
        print(f"transfer of /spela/ (gzip): {total} bytes = {total / 1024:.1f} KiB")

        cold = cold_transfer(driver, portal.url)
        print(f"cold load in Chromium (its choice of encoding, headers included): {cold} bytes")
        first = first_frames(driver, portal.url, loads)
        print("first frame after load (ms): " + ", ".join(f"{v:.0f}" for v in first)
              + f"; median {statistics.median(first):.0f}")
        if len(sys.argv) > 4:
            url = watched_url(portal, sys.argv[4])
            cold = cold_transfer(driver, url)
            print(f"replay page, cold load (headers and the replay included): {cold} bytes")
            first = first_frames(driver, url, loads)
            print("replay page, first frame after load (ms): "
                  + ", ".join(f"{v:.0f}" for v in first) + f"; median {statistics.median(first):.0f}")
        press(driver, Keys.F1)
        time.sleep(0.5)
        start = len(timings(driver)["frames"])
        press(driver, Keys.ARROW_LEFT, hold=10.0)
        frames = timings(driver)["frames"][start:]
        gaps = sorted(b - a for a, b in zip(frames, frames[1:]))
        print(f"frame pacing over {len(gaps)} gaps (ms): median {statistics.median(gaps):.1f}, "
              f"90th {gaps[int(len(gaps) * 0.9)]:.1f}, max {gaps[-1]:.1f}")
    finally:
        driver.quit()
        portal.close()


if __name__ == "__main__":
    main()
