#!/usr/bin/python3
"""Reads the running program through the accessibility bus (AT-SPI), as a screen reader would, for test_e2e_a11y.sh.

Usage: a11y_rows.py PID WINDOW-ID UPPER-HEADING LOWER-HEADING PRESENTATION-SECONDS TREE-FILE

Finds the application of process PID, its frame named by the caption the X server shows for WINDOW-ID, and the
two rows in it, and checks that each row's accessible name and text are the row's text:
  - at two moments a second apart in the one-line form: the upper row's elapsed time went up by what the lower
    row's remaining time went down, and both add up to the presentation time at every reading;
  - in the two-line form (the window made narrow and tall): both lines, joined by CR LF as the row holds them;
  - minimised: the frame's name follows the caption, which then shows the elapsed time, and the upper row shows
    the same time as the caption the X server holds.
Writes the accessible tree as found at the start to TREE-FILE. Every wait is bracketed and scaled by
E2E_SLOWDOWN; a reading that fails is retried until its limit, so a slow machine makes this slower, not flaky.
Ends with status 1 and a line on stderr at the first failure.
"""

import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

SLOWDOWN = float(os.environ.get("E2E_SLOWDOWN", "1"))
T0 = time.monotonic()


def log(message):
    print("[a11y %6.3f] %s" % (time.monotonic() - T0, message), file=sys.stderr, flush=True)


def fail(message):
    print("FAIL: " + message, file=sys.stderr, flush=True)
    sys.exit(1)


def retry(limit, attempt, what):
    """Calls attempt() until it returns something other than None; fails after limit seconds (scaled), saying
    what (a string, or a function that makes one then). An exception from the bus (a reply that came too late,
    an object gone) counts as one more try."""
    deadline = time.monotonic() + limit * SLOWDOWN
    last = None
    while True:
        try:
            result = attempt()
            if result is not None:
                return result
        except Exception as error:  # pyatspi raises GLib errors of several kinds
            last = error
        if time.monotonic() > deadline:
            what = what() if callable(what) else what
            fail("%s (within %.1f s)%s" % (what, limit * SLOWDOWN, "; last error: %s" % last if last else ""))
        time.sleep(0.05)


def x_title(window):
    return subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout.rstrip("\n")


def text_of(accessible):
    try:
        return accessible.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def dump(accessible, depth=0):
    text = text_of(accessible)
    line = "%s[%s] name=%r%s" % ("  " * depth, accessible.getRoleName(), accessible.name,
                                  "" if text is None else " text=%r" % text)
    return [line] + [l for child in accessible for l in dump(child, depth + 1)]


class Events:
    """What the program announces on the bus, as a screen reader that keeps its own copy of each text hears it."""

    def __init__(self):
        self.heard = []
        pyatspi.Registry.registerEventListener(self.heard.append, "object:property-change:accessible-name",
                                               "object:text-changed")

    def pump(self):
        context = GLib.MainContext.default()
        while context.iteration(False):
            pass

    def since(self, mark, source):
        self.pump()
        return [e for e in self.heard[mark:] if e.source == source]


def find_application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def main():
    pid, window, heading1, heading2, presentation, tree_file = sys.argv[1:7]
    pid, presentation = int(pid), int(presentation)

    events = Events()
    app = retry(10, lambda: find_application(pid), "no application of process %d on the accessibility bus" % pid)
    if app.name.lower() != "lectern":
        fail("the application is named %r" % app.name)
    with open(tree_file, "w", encoding="utf-8") as out:
        out.write("\n".join(dump(app)) + "\n")

    caption = x_title(window)
    frame = retry(5, lambda: next((c for c in app if c.getRole() == pyatspi.ROLE_FRAME and c.name == caption),
                                  None), "no frame named by the caption %r" % caption)
    labels = [c for c in frame if c.getRole() == pyatspi.ROLE_LABEL]
    if len(labels) != 2:
        fail("the frame holds %d labels instead of the two rows: %s" % (len(labels), dump(frame)))
    log("application %r, frame %r, two labels" % (app.name, frame.name))

    forms = {
        "one-line": [re.compile("^%s +(\\d\\d)分(\\d\\d)秒$" % re.escape(h)) for h in (heading1, heading2)],
        "two-line": [re.compile("^%s\r\n(\\d\\d) 分 (\\d\\d) 秒$" % re.escape(h)) for h in (heading1, heading2)],
    }

    def reading(form):
        """Both rows now: (start, end, [elapsed, remaining], texts), or None while they do not show the form
        (the layout not yet run after a resize) or a tick came between the readings of the two rows."""
        events.pump()
        start = time.monotonic()
        texts = []
        for label in labels:
            name, text = label.name, text_of(label)
            if name != text:
                # The text may have changed after the events were pumped: the name, kept from the events, follows
                # once they are in. One that does not is wrong.
                def named_as_text():
                    events.pump()
                    now = (label.name, text_of(label))
                    return now if now[0] == now[1] else None
                name, text = retry(1, named_as_text, "a row's name %r differs from its text %r" % (name, text))
            texts.append(text)
        end = time.monotonic()
        # The rows are read one after the other: a tick between the two readings tears them. The upper row read
        # again tells; such a reading is void, not wrong.
        if text_of(labels[0]) != texts[0]:
            return None
        matches = [pattern.match(text) for pattern, text in zip(forms[form], texts)]
        if not all(matches):
            return None
        seconds = [int(m.group(1)) * 60 + int(m.group(2)) for m in matches]
        if seconds[0] + seconds[1] != presentation:
            fail("the rows read %r: elapsed and remaining do not add up to %d s" % (texts, presentation))
        return start, end, seconds, texts

    def next_tick(previous):
        """The first reading that differs from previous, and the most seconds the count can have moved on
        between them: one, unless the machine stalled for over a second between two readings."""
        last_same = [previous[0]]

        def attempt():
            rows = reading("one-line")
            if rows is not None and rows[2] == previous[2]:
                last_same[0] = rows[0]
                return None
            return rows

        rows = retry(3, attempt, lambda: "the rows read the same for over a second: %r" % (previous[3],))
        return rows, int(rows[1] - last_same[0]) + 1

    # Qt sends events once it has learnt that someone listens: wait for the first, at a tick of the count.
    retry(5, lambda: events.since(0, labels[0]) or None, "the upper row announced no change")
    # Two moments a second apart, each just after a tick of the count.
    start = retry(5, lambda: reading("one-line"), "the rows do not read as the one-line form")
    first, _ = next_tick(start)
    log("first reading:  %r" % first[3])
    # What the program announced up to the first reading has reached this side before the answers that made it.
    events.pump()
    mark = len(events.heard)
    second, most = next_tick(first)
    log("second reading: %r, %.2f s later" % (second[3], second[0] - first[0]))
    step = second[2][0] - first[2][0]
    if not 1 <= step <= most or second[2][1] != first[2][1] - step:
        fail("from %r to %r: the elapsed time went up by %d s (by one expected, at most %d after a stall) and the "
             "remaining time down by %d s" % (first[3], second[3], step, most, first[2][1] - second[2][1]))

    # A reader that keeps a copy of the text, applying the changes announced, holds the new text; and it heard
    # that the name changed. The events may trail the reading a little.
    def replayed(label, before, after):
        heard = events.since(mark, label)
        text = before
        for e in heard:
            if e.type == "object:text-changed:delete":
                if text[e.detail1:e.detail1 + e.detail2] != e.any_data:
                    fail("a row announced deleting %r at %d from %r" % (e.any_data, e.detail1, text))
                text = text[:e.detail1] + text[e.detail1 + e.detail2:]
            elif e.type == "object:text-changed:insert":
                text = text[:e.detail1] + e.any_data + text[e.detail1:]
        named = any(e.type.startswith("object:property-change:accessible-name") for e in heard)
        return (text, named) if text == after and named else None

    for label, before, after in zip(labels, first[3], second[3]):
        retry(2, lambda: replayed(label, before, after), lambda: "the changes a row announced do not turn %r into "
              "%r, or it announced no change of name: %s" % (before, after, [(e.type, e.detail1, e.detail2,
                                                                          e.any_data) for e in
                                                                         events.since(mark, label)]))
    log("the changes announced turn the first reading into the second")

    subprocess.run(["xdotool", "windowsize", window, "400", "300"], check=True)
    two = retry(5, lambda: reading("two-line"), "the rows do not read as the two-line form after a resize")
    log("two-line form:  %r" % two[3])

    subprocess.run(["xdotool", "windowminimize", window], check=True)
    minimised_caption = re.compile("^(\\d\\d):(\\d\\d)/%s$" % re.escape(caption))

    def caption_and_row():
        # The caption the X server holds, the same before and after the rows are read, is what the upper row
        # must show; a tick between the two readings of the caption makes this attempt void.
        before = x_title(window)
        match = minimised_caption.match(before)
        if not match or frame.name != before:
            return None
        rows = reading("two-line")
        if rows is None or x_title(window) != before:
            return None
        if rows[2][0] != int(match.group(1)) * 60 + int(match.group(2)):
            return None
        return before, rows[3][0]

    seen = retry(4, caption_and_row, lambda: "minimised, the frame's name and the upper row do not follow the "
                 "caption (the X server shows %r, the frame is named %r, the upper row reads %r)" %
                 (x_title(window), frame.name, labels[0].name))
    log("minimised: caption and frame %r, upper row %r" % seen)


if __name__ == "__main__":
    main()
