#!/usr/bin/python3
"""Screenshots and figures of the browser page, for bench/page_views.sh.

Usage: page_views.py PORT TOKEN FOLDER
"""

import base64
import json
import os
import statistics
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from web_page import Chromium  # noqa: E402

SIZES = ((390, 844), (844, 390), (768, 1024), (1920, 1080))


def main():
    port, token, folder = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    base = "http://127.0.0.1:%d" % port

    def command(name):
        request = urllib.request.Request(base + "/api/" + name, method="POST", data=b"",
                                         headers={"X-Lectern-Token": token})
        urllib.request.urlopen(request, timeout=5).close()

    page = urllib.request.urlopen(base + "/", timeout=5).read()
    print("page: %d bytes as served, one request (style and script inline), then the WebSocket" % len(page))
    browser = Chromium(base + "/#control=" + token)
    try:
        def measure(slowdown):
            """The median of five loads, after one that fills the caches."""
            browser.call("Emulation.setCPUThrottlingRate", session=browser.session, rate=slowdown)
            paints, sizes = [], []
            for _ in range(6):
                browser.call("Page.reload", session=browser.session)
                time.sleep(1.0 + 0.5 * slowdown)
                figures = json.loads(browser.evaluate("""JSON.stringify({
                    paint: performance.getEntriesByName('first-paint').map(e => e.startTime),
                    bytes: performance.getEntriesByType('navigation')[0].transferSize})"""))
                paints.append(figures["paint"][0] if figures["paint"] else float("nan"))
                sizes.append(figures["bytes"])
            print("CPU slowed %dx: %d bytes transferred, first paint %.0f ms (median of 5 warm loads)" %
                  (slowdown, sizes[-1], statistics.median(paints[1:])))

        measure(1)
        measure(4)
        browser.call("Emulation.setCPUThrottlingRate", session=browser.session, rate=1)
        for state, steps in (("presentation", ()), ("paused", ("pause",)), ("overtime", ("pause", "skip", "skip"))):
            for step in steps:
                command(step)
            for width, height in SIZES:
                browser.call("Emulation.setDeviceMetricsOverride", session=browser.session, width=width,
                             height=height, deviceScaleFactor=1, mobile=width < 1000)
                time.sleep(0.6)
                shot = browser.call("Page.captureScreenshot", session=browser.session, format="png")
                name = os.path.join(folder, "page-%dx%d-%s.png" % (width, height, state))
                with open(name, "wb") as out:
                    out.write(base64.b64decode(shot["data"]))
        print("screenshots in %s" % folder)
    finally:
        browser.close()


if __name__ == "__main__":
    main()
