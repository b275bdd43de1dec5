"""Measures the browser build: the transfer size of the site with gzip, the time from the
page's load event to its first drawn frame (over several loads), and the median time
between drawn frames while a game runs, in headless Chromium from a loopback server.
Usage: measure_web.py SITE_DIR [LOADS]"""

import gzip
import os
import statistics
import sys
import time

from browser_checks import Keys, press, start_browser, timings, wait_for
from site_server import SiteServer


def main():
    site_dir = sys.argv[1]
    loads = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    total = 0
    for name in sorted(os.listdir(site_dir)):
        with open(os.path.join(site_dir, name), "rb") as f:
            raw = f.read()
        packed = len(gzip.compress(raw, compresslevel=9))
        total += packed
        print(f"{name}: {len(raw)} bytes, {packed} gzip")
    print(f"transfer (gzip): {total} bytes = {total / 1024:.1f} KiB")

    server = SiteServer(site_dir).start()
    driver = start_browser()
    try:
        first = []
        for _ in range(loads):
            driver.get(server.url + "?" + str(time.monotonic()))
            t = wait_for(lambda: timings(driver)["firstFrame"] and timings(driver)["load"] and timings(driver), 10, "the first frame")
            first.append(t["firstFrame"] - t["load"])
        print("first frame after load (ms): " + ", ".join(f"{v:.0f}" for v in first)
              + f"; median {statistics.median(first):.0f}")
        press(driver, Keys.F1)
        time.sleep(0.5)
        start = len(timings(driver)["frames"])
        press(driver, Keys.ARROW_LEFT, hold=10.0)
        frames = timings(driver)["frames"][start:]
        gaps = [b - a for a, b in zip(frames, frames[1:])]
        gaps.sort()
        print(f"frame pacing over {len(gaps)} gaps (ms): median {statistics.median(gaps):.1f}, "
              f"90th {gaps[int(len(gaps) * 0.9)]:.1f}, max {gaps[-1]:.1f}")
    finally:
        driver.quit()
        server.stop()


if __name__ == "__main__":
    main()
