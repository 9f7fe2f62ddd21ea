#!/usr/bin/python3
"""Opens the browser view in headless Chromium (driven over its DevTools pipe) and holds it against the main
window as the accessibility bus reads it, for test_e2e_web.sh.

Usage: web_page.py PID WINDOW-ID SCREENSHOT LOAD-SCRIPT

Takes the view's and the control address from the browser view's window as the bus reads it, then checks:
  - at two moments a second apart, the page's two rows read as the window's (each reading bracketed by two of the
    window's that agree);
  - with the page open, 63 viewers more for a few seconds and some malformed requests (LOAD-SCRIPT, a short run
    of bench/web_load.py): the 65th gets 503, a wrong token 403, the count runs on;
  - N on the main window (a skip into the discussion): the page's lower row takes the discussion's colours;
  - W on the main window (the server stops): the page says 「接続が切れました」.
Saves a screenshot of the page to SCREENSHOT. Ends with status 1 and a line on stderr at the first failure.
"""

import base64
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from a11y_rows import SLOWDOWN, fail, find_application, log, retry, text_of, x_title  # noqa: E402
import pyatspi  # noqa: E402


class Chromium:
    """Headless Chromium with one page, spoken to over --remote-debugging-pipe (JSON messages ended by NUL)."""

    def __init__(self, url):
        self.profile = tempfile.TemporaryDirectory(prefix="lectern-chromium-")
        to_browser, self.out = os.pipe()
        self.inp, from_browser = os.pipe()
        args = ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--user-data-dir=" + self.profile.name, "--window-size=800,450", "--remote-debugging-pipe",
                "about:blank"]
        # Chromium reads commands from descriptor 3 and writes answers to 4.
        self.process = subprocess.Popen(args, pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=lambda: (os.dup2(to_browser, 3), os.dup2(from_browser, 4)))
        os.close(to_browser)
        os.close(from_browser)
        self.buffer = b""
        self.next_id = 0
        target = self.call("Target.createTarget", url=url)["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.inp, 65536)
                if not chunk:
                    fail("chromium ended")
                self.buffer += chunk
            line, self.buffer = self.buffer.split(b"\0", 1)
            answer = json.loads(line)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    fail("chromium: %s: %s" % (method, answer["error"]))
                return answer["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", session=self.session, expression=expression, returnByValue=True)
        return result["result"].get("value")

    def close(self):
        self.process.terminate()
        self.process.wait(10)


PAGE = """JSON.stringify({
    texts: [upper.textContent, lower.textContent],
    colours: [getComputedStyle(lower).color, getComputedStyle(lower).backgroundColor],
    phase: document.body.dataset.phase || '',
    gone: !document.getElementById('gone').hidden,
    size: parseFloat(getComputedStyle(upper).fontSize)})"""


def main():
    pid, window, screenshot, load = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    app = retry(10, lambda: find_application(pid), "no application of process %d on the accessibility bus" % pid)
    serving = retry(10, lambda: next((c for c in app if
                                      c.name == "Lectern - ブラウザ表示"), None),
                    lambda: "no window of the browser view: %r" % [(c.getRoleName(), c.name) for c in app])
    texts = [text_of(c) or c.name for c in serving if c.getRole() == pyatspi.ROLE_LABEL]
    url = next((line for t in texts for line in t.split("\n") if line.startswith("http://127.0.0.1:")), None)
    control = next((t for t in texts if "#control=" in t), None)
    if not url or not control:
        fail("the browser view's window shows no loopback address or no control address: %r" % texts)
    port, token = int(url.split(":")[2].rstrip("/")), control.split("#control=")[1]
    log("view at %s, control token of %d digits" % (url, len(token)))
    caption = x_title(window)
    frame = retry(5, lambda: next((c for c in app if c.getRole() == pyatspi.ROLE_FRAME and c.name == caption),
                                  None), "no frame named by the caption %r" % caption)
    labels = [c for c in frame if c.getRole() == pyatspi.ROLE_LABEL]
    if len(labels) != 2:
        fail("the main window holds %d labels instead of the two rows" % len(labels))

    def window_texts():
        return [text_of(label).replace("\r\n", "\n") for label in labels]

    browser = Chromium(url)
    try:
        def page():
            return json.loads(browser.evaluate(PAGE))

        def agreeing():
            before, seen, after = window_texts(), page(), window_texts()
            return seen if before == after == seen["texts"] else None

        first = retry(10, agreeing, "the page's rows never read as the window's")
        time.sleep(1.0)
        second = retry(5, lambda: (lambda s: s if s and s["texts"] != first["texts"] else None)(agreeing()),
                       "a second later the page's rows did not read as the window's anew")
        log("page and window agree: %r, then %r" % (first["texts"], second["texts"]))
        if not second["size"] > 20:
            fail("the page's rows are %.1f px high in an 800 x 450 window" % second["size"])

        shot = browser.call("Page.captureScreenshot", session=browser.session, format="png")
        with open(screenshot, "wb") as out:
            out.write(base64.b64decode(shot["data"]))

        loaded = subprocess.run([sys.executable, load, "--port", str(port), "--pid", str(pid), "--viewers", "63",
                                 "--seconds", str(6 * SLOWDOWN), "--fuzz", "300", "--token", token])
        if loaded.returncode != 0:
            fail("the load on the server failed a check")
        if page()["gone"]:
            fail("the page lost its connection under the load")

        before = page()
        subprocess.run(["xdotool", "windowactivate", "--sync", window, "key", "--clearmodifiers", "n"], check=True)
        after = retry(5, lambda: (lambda s: s if s["phase"] == "discussion" else None)(page()),
                      "after N the page did not show the discussion (it shows %r)" % before["phase"])
        if after["colours"] == before["colours"]:
            fail("the lower row kept its colours %r from %s into the discussion" % (before["colours"],
                                                                                     before["phase"]))
        log("colours %r in %s, %r in the discussion" % (before["colours"], before["phase"], after["colours"]))

        subprocess.run(["xdotool", "windowactivate", "--sync", window, "key", "--clearmodifiers", "w"], check=True)
        retry(10, lambda: page()["gone"] or None, "the page did not notice the server stopping")
        log("server stopped: the page says so")
    finally:
        browser.close()


if __name__ == "__main__":
    main()
