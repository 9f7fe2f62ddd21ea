#!/usr/bin/python3
"""The two lockouts once seen on the browser view, repeated against a running Lectern, and the figures under them.

  1. A crowd: 30 phones, each from an address of its own (127.0.0.10 and on), load the page within 5 seconds, each
     with an idle connection held beside it as browsers open ahead, then open their viewer: all must get the page.
  2. Idle connections: 40 from one address (127.0.0.3), each sending one request every 8 seconds and otherwise
     holding its connection, beside 63 viewers: the page from another address (127.0.0.4) and a command with the
     token from the crowding address must still get through, every 2 seconds, through the bell at BELL seconds.
Then the 64th viewer is taken and the 65th refused; some upgrades are broken off half-way (the program must print
nothing for them). Prints each check, the slowest answers, the bell's moment, Lectern's CPU and resident memory.

Usage: web_lockouts.py --port PORT --pid PID --token TOKEN --audio FILE --bell SECONDS
Exit status 1 when a check failed.
"""

import argparse
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_load import HOST, Viewer, bells, check, cpu_seconds, failures, get_json, rss_kib  # noqa: E402


def status_of(port, raw, source="127.0.0.1", timeout=5.0):
    """Sends raw bytes from `source`; the status code and the seconds the answer took (0: none came)."""
    start = time.monotonic()
    try:
        with socket.create_connection((HOST, port), timeout=timeout, source_address=(source, 0)) as s:
            s.sendall(raw)
            data = b""
            while b"\r\n" not in data:
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
    except OSError:
        data = b""
    took = time.monotonic() - start
    return (int(data[9:12]) if data.startswith(b"HTTP/1.") else 0), took


def page(port, source):
    return status_of(port, b"GET / HTTP/1.1\r\nHost: %s:%d\r\n\r\n" % (HOST.encode(), port), source)


def command(port, token, source):
    return status_of(port, b"POST /api/adjust HTTP/1.1\r\nHost: x\r\nX-Lectern-Token: %s\r\nContent-Length: 1\r\n\r\n0"
                     % token.encode(), source)


def crowd(port):
    """30 phones within 5 s; returns how many got the page and how many their viewer."""
    got_page, got_viewer, lock, held = [0], [0], threading.Lock(), []

    def phone(k):
        time.sleep(k * 5.0 / 30)
        source = "127.0.0.%d" % (10 + k)
        try:
            held.append(socket.create_connection((HOST, port), timeout=5, source_address=(source, 0)))
        except OSError:
            pass
        ok = page(port, source)[0] == 200
        try:
            held.append(Viewer(port, source).sock)
            viewer = True
        except (OSError, ConnectionError):
            viewer = False
        with lock:
            got_page[0] += ok
            got_viewer[0] += viewer

    threads = [threading.Thread(target=phone, args=(k,)) for k in range(30)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for s in held:
        s.close()
    return got_page[0], got_viewer[0]


def idle_crowd(port, stop):
    """40 connections from one address, each one request every 8 s and idle between; reopened when closed."""
    request = b"GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n\r\n"

    def one(k):
        s, next_request = None, time.monotonic() + k * 0.2
        while not stop.is_set():
            try:
                if s is None:
                    s = socket.create_connection((HOST, port), timeout=10, source_address=("127.0.0.3", 0))
                if time.monotonic() >= next_request:
                    next_request += 8.0
                    s.sendall(request)
                    if not s.recv(65536):
                        raise OSError("closed")
            except OSError:
                if s:
                    s.close()
                s = None
            time.sleep(0.2)
        if s:
            s.close()

    threads = [threading.Thread(target=one, args=(k,), daemon=True) for k in range(40)]
    for t in threads:
        t.start()
    return threads


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--token", required=True)
    p.add_argument("--audio", required=True)
    p.add_argument("--bell", type=float, required=True)
    a = p.parse_args()

    t0 = time.monotonic()
    count_start = t0 - get_json(a.port, "/api/state")["elapsed"]
    timeline, stop_audio = [], threading.Event()

    def note_audio():
        while not stop_audio.is_set():
            timeline.append((time.monotonic() - count_start, os.path.getsize(a.audio)))
            time.sleep(0.1)

    threading.Thread(target=note_audio, daemon=True).start()

    pages, viewers = crowd(a.port)
    check(pages == 30 and viewers == 30, "30 phones within 5 s: %d got the page, %d their viewer" % (pages, viewers))

    viewers = [Viewer(a.port) for _ in range(63)]
    stop = threading.Event()
    idle_crowd(a.port, stop)
    time.sleep(1.0)
    cpu0, wall0, rss = cpu_seconds(a.pid), time.monotonic(), []
    commands, others = [], []
    while time.monotonic() - count_start < a.bell + 3:
        commands.append(command(a.port, a.token, "127.0.0.3"))
        others.append(page(a.port, "127.0.0.4"))
        rss.append(rss_kib(a.pid))
        for v in viewers:
            v.feed()
        time.sleep(2.0)
    cpu = 100.0 * (cpu_seconds(a.pid) - cpu0) / (time.monotonic() - wall0)
    stop.set()
    check(all(s == 200 for s, _ in commands), "40 idle from 127.0.0.3: a command with the token from it, %d times: %s"
          % (len(commands), sorted({s for s, _ in commands})))
    check(all(s == 200 for s, _ in others), "40 idle from 127.0.0.3: the page from 127.0.0.4, %d times: %s"
          % (len(others), sorted({s for s, _ in others})))
    print("slowest answer under the idle crowd: command %.3f s, page %.3f s"
          % (max(t for _, t in commands), max(t for _, t in others)))
    print("Lectern under 63 viewers and the idle crowd: CPU %.1f %% of one core, RSS %d KiB at most" % (cpu, max(rss)))

    viewers.append(Viewer(a.port))
    check(True, "the 64th viewer is taken")
    check(page(a.port, "127.0.0.5")[0] == 503, "the page for a 65th viewer gets 503")
    for raw in (b"GET /socket HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n",
                b"GET /socket HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n\r\n"):
        for _ in range(5):
            with socket.create_connection((HOST, a.port), timeout=2) as s:
                s.sendall(raw)
    for v in viewers:
        v.sock.close()
    time.sleep(1.0)
    stop_audio.set()
    seen = [t for t in bells(a.audio, timeline) if t is not None]
    # The display turns to the bell's second half a second before the exact instant, and the bell with it.
    near = [t for t in seen if abs(t - (a.bell - 0.5)) < 0.5]
    check(bool(near), "the bell at %.0f s rang on time (bells seen at %s)" % (a.bell, ", ".join("%.2f" % t for t in seen)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
