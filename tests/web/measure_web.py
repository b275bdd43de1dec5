"""Measures the browser build as a real pingel-portal serves it on loopback: what each file
of /spela/ costs on the wire when the client accepts gzip only (and what a cold load in
Chromium transferred, whatever encoding it chose), the time from the page's load event to
its first drawn frame (over several loads), and the median time between drawn frames while
a game runs, in headless Chromium.
Usage: measure_web.py PORTAL_BINARY SITE_DIR [LOADS]"""

import os
import statistics
import sys
import time
import urllib.request

from browser_checks import Keys, press, start_browser, timings, wait_for
from portal_process import Portal


def wire_size(portal, name):
    """The body's bytes as sent to a client that accepts gzip, and its encoding."""
    request = urllib.request.Request(f"{portal.url}{name}", headers={"Accept-Encoding": "gzip"})
    with urllib.request.urlopen(request, timeout=10) as reply:
        return len(reply.read()), reply.headers.get("Content-Encoding", "none")


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

        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        driver.get(portal.url)
        wait_for(lambda: timings(driver)["firstFrame"], 10, "the first frame")
        cold = driver.execute_script("""
            return performance.getEntriesByType('navigation').concat(
                performance.getEntriesByType('resource')).reduce((s, e) => s + e.transferSize, 0);""")
        print(f"cold load in Chromium (its choice of encoding, headers included): {cold} bytes")
        driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": False})

        first = []
        for _ in range(loads):
            driver.get(portal.url + "?" + str(time.monotonic()))
            t = wait_for(lambda: timings(driver)["firstFrame"] and timings(driver)["load"] and timings(driver),
                         10, "the first frame")
            first.append(t["firstFrame"] - t["load"])
        print("first frame after load (ms): " + ", ".join(f"{v:.0f}" for v in first)
              + f"; median {statistics.median(first):.0f}")
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
