#!/usr/bin/python3
"""Silent connections to Lectern's command socket, bounded in number and time, with what they cost the program.

From 3 s into the count until SECONDS, holds CONNECTIONS connections to SOCKET that send nothing, opening again
once a second those the program closed. Every half second it reads the program's CPU time and open descriptors
from /proc; every 50 ms the size of the sound SDL's disk driver has written, to find the bell afterwards. At 33 s
it runs `lectern --pause` in APP_DIR (as a shortcut would) and times it and the caption that shows the pause.

Usage: socket_flood.py --socket PATH --pid PID --window ID --app-dir DIR --count-start EPOCH
                       [--connections 1100] [--seconds 40] --audio FILE --bell SECONDS
Prints the figures; exit status 1 when a check failed.
"""

import argparse
import errno
import os
import resource
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_load import bells, check, cpu_seconds, failures  # noqa: E402


def open_descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def connect(path):
    """A connection, or None when the program's queue is full (it refuses at once) or the socket is gone."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.setblocking(False)
    try:
        s.connect(path)
        return s
    except OSError as error:
        s.close()
        if error.errno in (errno.EAGAIN, errno.ECONNREFUSED, errno.ENOENT):
            return None
        raise


def closed_by_peer(s):
    try:
        return s.recv(1) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True


def title(window):
    return subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout.strip()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--socket", required=True)
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--window", required=True)
    p.add_argument("--app-dir", required=True)
    p.add_argument("--count-start", type=float, required=True)
    p.add_argument("--connections", type=int, default=1100)
    p.add_argument("--seconds", type=float, default=40)
    p.add_argument("--audio", required=True)
    p.add_argument("--bell", type=float, required=True)
    a = p.parse_args()

    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, max(soft, a.connections + 256)), hard))
    clock_offset = time.time() - time.monotonic()
    start = a.count_start - clock_offset  # the count's start on the monotonic clock

    def count_seconds():
        return time.monotonic() - start

    held, opened, closed = [], 0, 0
    timeline, samples = [], []
    pause = None
    next_reopen = next_sample = 0.0
    while count_seconds() < 3:
        time.sleep(0.05)
    flood_from = count_seconds()
    while count_seconds() < a.seconds:
        now = count_seconds()
        timeline.append((now, os.path.getsize(a.audio)))
        if now >= next_reopen:
            # Once a second: the connections the program closed are counted and opened again, as an attacker would.
            next_reopen = now + 1.0
            still = [s for s in held if not closed_by_peer(s)]
            for s in set(held) - set(still):
                s.close()
            closed += len(held) - len(still)
            held = still
            deadline = time.monotonic() + 0.5
            while len(held) < a.connections and time.monotonic() < deadline:
                s = connect(a.socket)
                if s is None:
                    time.sleep(0.001)
                    continue
                held.append(s)
                opened += 1
        if now >= next_sample:
            next_sample = now + 0.5
            samples.append((now, cpu_seconds(a.pid), open_descriptors(a.pid), len(held)))
        if pause is None and now >= 33:
            began = time.monotonic()
            env = dict(os.environ, LC_ALL="en_US.UTF-8")
            env.pop("DISPLAY", None)
            done = subprocess.run(["./lectern", "--pause"], cwd=a.app_dir, env=env, capture_output=True, text=True,
                                  timeout=10)
            took = time.monotonic() - began
            shown = None
            while time.monotonic() - began < 3:
                if "一時停止" in title(a.window):
                    shown = time.monotonic() - began
                    break
                time.sleep(0.02)
            pause = (done.returncode, done.stderr.strip(), took, shown)
        time.sleep(0.05)
    for s in held:
        s.close()

    flooded = [s for s in samples if s[0] >= flood_from + 1]
    span = flooded[-1][0] - flooded[0][0]
    cpu = 100.0 * (flooded[-1][1] - flooded[0][1]) / span
    print("flood: %d connections opened in %.0f s, %d of them closed by Lectern" % (opened, span, closed))
    print("Lectern: CPU %.1f %% of one core while flooded; open descriptors %d at most (limit 1024)"
          % (cpu, max(s[2] for s in flooded)))
    status, said, took, shown = pause
    print("lectern --pause: status %d in %.0f ms%s; the pause shown %s"
          % (status, took * 1000, " (%s)" % said if said else "",
             "%.0f ms after it was sent" % (shown * 1000) if shown is not None else "never"))
    seen = [t for t in bells(a.audio, timeline) if t is not None]
    print("bells seen at (count seconds): %s" % (", ".join("%.2f" % t for t in seen) or "none"))
    near = [t for t in seen if abs(t - a.bell) < 0.6]
    check(bool(near), "the warning bell at %.1f s came on time (seen at %s)"
          % (a.bell, ", ".join("%.2f" % t for t in near) or "no time near it"))
    check(status == 0 and shown is not None, "lectern --pause arrived")
    check(cpu < 10, "Lectern stayed under a tenth of a core")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
