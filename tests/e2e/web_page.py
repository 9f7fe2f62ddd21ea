#!/usr/bin/python3
"""Opens the browser view in headless Chromium (driven over its DevTools pipe) and holds it against the main
window as the accessibility bus reads it, for test_e2e_web.sh.

Usage: web_page.py PID WINDOW-ID SCREENSHOT LOAD-SCRIPT CONTROL-FILE

Checks that the browser view's window shows the view's address but not the control address, and leaves the
keyboard with the main window; takes the control address from the window its button opens, then checks:
  - at two moments a second apart, the page's heading, time left and time since the start read as the window's
    rows (each reading bracketed by two of the window's that agree);
  - at 390x844 and 844x390 the time left is at least 80 % of the narrower side wide, every button at least 48x48
    CSS px and none alone on its line;
  - with the page open, 63 viewers more for a few seconds and some malformed requests (LOAD-SCRIPT, a short run
    of bench/web_load.py): the 65th gets 503, a wrong token 403, the count runs on;
  - リスタート once only asks for a second press, which restarts the count within 3 seconds and not after;
  - N pressed on the view's window, put in front: the main window skips into the discussion, and the page takes
    the discussion's colours;
  - W on the main window (the server stops): the page says 「接続が切れました」; W again: the page takes commands on;
  - a new token made in the control window: the page with the old one says so large, its buttons disabled.
Saves a screenshot of the page to SCREENSHOT; writes "PORT TOKEN" (the last token) to CONTROL-FILE. Ends with
status 1 and a line on stderr at the first failure.
"""

import base64
import json
import os
import re
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
    texts: [heading.textContent, remaining.textContent, elapsed.textContent],
    colours: [getComputedStyle(face).color, getComputedStyle(face).backgroundColor],
    phase: document.body.dataset.phase || '',
    gone: !document.getElementById('gone').hidden,
    wrong: document.getElementById('wrong').hidden ? '' : document.getElementById('wrong').textContent,
    wrongSize: parseFloat(getComputedStyle(document.getElementById('wrong')).fontSize),
    enabled: [...document.querySelectorAll('#controls button')].filter(b => !b.disabled).length,
    restart: document.querySelector('[data-command=restart]').textContent,
    elapsed: state ? state.elapsed : -1, paused: state ? state.paused : null,
    size: parseFloat(getComputedStyle(remaining).fontSize)})"""

# The digits' width against the viewport's narrower side; each button's size; the buttons on each line.
FIT = """JSON.stringify({
    share: remaining.getBoundingClientRect().width / Math.min(innerWidth, innerHeight),
    buttons: [...buttons].map(b => [b.textContent, b.getBoundingClientRect().width, b.getBoundingClientRect().height]),
    lines: Object.values([...buttons].reduce((lines, b) => {
        const top = Math.round(b.getBoundingClientRect().top);
        lines[top] = (lines[top] || 0) + 1;
        return lines;
    }, {}))})"""


def parse_row(text):
    match = re.match(r"^(.*?) +([0-9]{2}) ?分 ?([0-9]{2}) ?秒$", text)
    return (match.group(1), int(match.group(2)) * 60 + int(match.group(3))) if match else (text, -1)


def clock(seconds):
    return "%d:%02d" % (seconds // 60, seconds % 60)


def check_fit(browser, width, height):
    """At a phone's size the time left fills most of the narrower side, and every button is big enough to touch."""
    browser.call("Emulation.setDeviceMetricsOverride", session=browser.session, width=width, height=height,
                 deviceScaleFactor=1, mobile=True)
    fit = retry(5, lambda: (lambda f: f if f["share"] >= 0.8 else None)(json.loads(browser.evaluate(FIT))),
                "at %dx%d the time left is narrower than 80 %% of the narrower side" % (width, height))
    small = [b for b in fit["buttons"] if b[1] < 48 or b[2] < 48]
    if small or min(fit["lines"]) < 2:
        fail("at %dx%d buttons under 48x48 px: %r; buttons per line: %r" % (width, height, small, fit["lines"]))
    log("at %dx%d the time left is %.0f %% of the narrower side; buttons per line %r" %
        (width, height, 100 * fit["share"], fit["lines"]))


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), check=True, capture_output=True, text=True).stdout.strip()


def main():
    pid, window, screenshot, load, control_file = sys.argv[1:6]
    pid = int(pid)
    app = retry(10, lambda: find_application(pid), "no application of process %d on the accessibility bus" % pid)

    def window_named(name):
        return retry(10, lambda: next((c for c in app if c.name == name and c.getState().contains(
            pyatspi.STATE_SHOWING)), None), lambda: "no window %r: %r" % (name, [c.name for c in app]))

    def texts_of(frame):
        return [text_of(c) or c.name for c in frame if c.getRole() == pyatspi.ROLE_LABEL]

    def press(frame, name):
        next(c for c in frame if c.getRole() == pyatspi.ROLE_PUSH_BUTTON and c.name == name).queryAction().doAction(0)

    def control_address():
        press(window_named("Lectern - ブラウザ表示"), "操作用のコードを表示")
        shown = window_named("Lectern - 操作用のコード")
        return retry(5, lambda: next((t for t in texts_of(shown) if "#control=" in t), None),
                     "the control window shows no control address"), shown

    serving = window_named("Lectern - ブラウザ表示")
    texts = texts_of(serving)
    url = next((line for t in texts for line in t.split("\n") if line.startswith("http://127.0.0.1:")), None)
    if not url or any("#control=" in t for t in texts):
        fail("the browser view's window shows no loopback address, or the control address beside it: %r" % texts)
    if xdotool("getactivewindow") != window:
        fail("the browser view's window took the keyboard from the main window")
    control, control_window = control_address()
    port, token = int(url.split(":")[2].rstrip("/")), control.split("#control=")[1]
    log("view at %s, control token of %d digits" % (url, len(token)))
    caption = x_title(window)
    frame = retry(5, lambda: next((c for c in app if c.getRole() == pyatspi.ROLE_FRAME and c.name == caption),
                                  None), "no frame named by the caption %r" % caption)
    labels = [c for c in frame if c.getRole() == pyatspi.ROLE_LABEL]
    if len(labels) != 2:
        fail("the main window holds %d labels instead of the two rows" % len(labels))

    def window_texts():
        """The rows as the page reads them: the lower row's heading and the time left, the time since the start."""
        rows = [parse_row(text_of(label).replace("\r\n", " ")) for label in labels]
        return [rows[1][0], clock(rows[1][1]), rows[0][0] + "  " + clock(rows[0][1])]

    browser = Chromium(control)
    try:
        def page():
            return json.loads(browser.evaluate(PAGE))

        def agreeing():
            before, seen, after = window_texts(), page(), window_texts()
            return seen if before == after == seen["texts"] else None

        def click(command):
            browser.evaluate("document.querySelector('[data-command=%s]').click()" % command)

        first = retry(10, agreeing, "the page never read as the window's rows")
        time.sleep(1.0)
        second = retry(5, lambda: (lambda s: s if s and s["texts"] != first["texts"] else None)(agreeing()),
                       "a second later the page did not read as the window's rows anew")
        log("page and window agree: %r, then %r" % (first["texts"], second["texts"]))
        if not second["size"] > 20 or second["wrong"] or second["enabled"] != 8:
            fail("the page's digits are %(size).1f px high, it says %(wrong)r, %(enabled)d buttons work" % second)
        for width, height in ((390, 844), (844, 390)):
            check_fit(browser, width, height)
        browser.call("Emulation.clearDeviceMetricsOverride", session=browser.session)

        shot = browser.call("Page.captureScreenshot", session=browser.session, format="png")
        with open(screenshot, "wb") as out:
            out.write(base64.b64decode(shot["data"]))

        loaded = subprocess.run([sys.executable, load, "--port", str(port), "--pid", str(pid), "--viewers", "63",
                                 "--seconds", str(6 * SLOWDOWN), "--fuzz", "300", "--token", token])
        if loaded.returncode != 0:
            fail("the load on the server failed a check")
        if page()["gone"]:
            fail("the page lost its connection under the load")

        click("restart")
        asked = page()
        time.sleep(3.5)
        later = page()
        if (asked["restart"], later["restart"]) != ("もう一度押すとリスタート", "リスタート") or \
                later["elapsed"] <= asked["elapsed"]:
            fail("one press of リスタート restarted the count, or its label read %r, then %r" %
                 (asked["restart"], later["restart"]))
        click("restart")
        click("restart")
        retry(3, lambda: page()["elapsed"] < 2 or None, "two presses of リスタート did not restart the count")

        before = page()
        # xdotool's search by name does not match a Japanese title; wmctrl's does.
        subprocess.run(["wmctrl", "-a", "Lectern - ブラウザ表示"], check=True)
        xdotool("key", "--clearmodifiers", "n")
        after = retry(5, lambda: (lambda s: s if s["phase"] == "discussion" else None)(page()),
                      "after N on the view's window the page did not show the discussion (it shows %r)" %
                      before["phase"])
        if after["colours"] == before["colours"]:
            fail("the page kept its colours %r from %s into the discussion" % (before["colours"],
                                                                                     before["phase"]))
        log("colours %r in %s, %r in the discussion" % (before["colours"], before["phase"], after["colours"]))

        for expected in (True, False):
            xdotool("windowactivate", "--sync", window, "key", "--clearmodifiers", "w")
            retry(10, lambda: page()["gone"] == expected or None, "the page did not see the server go and come")
        click("pause")
        retry(5, lambda: page()["paused"] or None, "after W off and on the page's token no longer commands")
        click("pause")

        renewed, control_window = control_address()
        press(control_window, "新しい操作用コードを作る")
        renewed = retry(5, lambda: next((t for t in texts_of(control_window) if "#control=" in t and t != renewed),
                                        None), "the control window shows no new address")
        click("pause")
        refused = retry(5, lambda: (lambda s: s if s["wrong"] else None)(page()),
                        "the page with the old token never said it was refused")
        if refused["wrong"] != "操作用のQRコードを読み直してください" or refused["wrongSize"] < 30 or refused["enabled"]:
            fail("the refused page reads %(wrong)r at %(wrongSize).0f px with %(enabled)d buttons" % refused)
        with open(control_file, "w") as out:
            out.write("%d %s\n" % (port, renewed.split("#control=")[1]))
    finally:
        browser.close()


if __name__ == "__main__":
    main()
