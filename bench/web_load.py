#!/usr/bin/python3
"""Load on Lectern's browser view, from the loopback only, bounded in count and time.

Opens VIEWERS WebSocket viewers (as the page does) and keeps them reading for SECONDS, while it checks that one
viewer more gets 503 for the page, that commands without the token or with a wrong one get 403, and sends FUZZ
malformed or oversized requests (a few at a time); every second it reads the program's CPU time and resident
memory from /proc and the count from /api/state. With --audio it also notes how much sound SDL's disk driver has
written, every tenth of a second, and finds the bells in it afterwards.

Usage: web_load.py --port PORT --pid PID [--viewers 64] [--seconds 120] [--fuzz 3000] [--token TOKEN]
                   [--audio FILE --bells EXPECTED-SECONDS,...]
Prints the figures; exit status 1 when a check failed.
"""

import argparse
import base64
import json
import os
import random
import re
import selectors
import socket
import struct
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

HOST = "127.0.0.1"
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def request(port, raw, timeout=5.0):
    """Sends raw bytes, returns the status code of the answer, or 0 when the connection ended without one."""
    with socket.create_connection((HOST, port), timeout=timeout) as s:
        try:
            s.sendall(raw)
        except OSError:
            pass
        data = b""
        try:
            while b"\r\n" not in data:
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
    m = re.match(rb"HTTP/1\.[01] (\d{3})", data)
    return int(m.group(1)) if m else 0


def http(port, method, path, headers=None, body=b""):
    lines = ["%s %s HTTP/1.1" % (method, path), "Host: %s:%d" % (HOST, port), "Connection: close",
             "Content-Length: %d" % len(body)] + ["%s: %s" % h for h in (headers or {}).items()]
    return request(port, ("\r\n".join(lines) + "\r\n\r\n").encode() + body)


def get_json(port, path):
    with socket.create_connection((HOST, port), timeout=5) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
            head, _, body = data.partition(b"\r\n\r\n")
            m = re.search(rb"Content-Length: (\d+)", head, re.I)
            if m and len(body) >= int(m.group(1)):
                return json.loads(body[: int(m.group(1))])
    return None


class Viewer:
    """A WebSocket viewer that reads and counts the messages it is sent."""

    def __init__(self, port, source=HOST):
        self.sock = socket.create_connection((HOST, port), timeout=5, source_address=(source, 0))
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /socket HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (HOST, port, key)).encode())
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("closed during the handshake")
            data += chunk
        head, _, self.buffer = data.partition(b"\r\n\r\n")
        if not head.startswith(b"HTTP/1.1 101"):
            raise ConnectionError(head.split(b"\r\n")[0].decode())
        self.sock.setblocking(False)
        self.messages = 0
        self.closed = False
        self.last = None

    def feed(self):
        try:
            chunk = self.sock.recv(65536)
        except BlockingIOError:
            return
        except OSError:
            chunk = b""
        if not chunk:
            self.closed = True
            return
        self.buffer += chunk
        while len(self.buffer) >= 2:
            opcode, length = self.buffer[0] & 0x0F, self.buffer[1] & 0x7F
            at = 2
            if length == 126:
                if len(self.buffer) < 4:
                    return
                length, at = struct.unpack(">H", self.buffer[2:4])[0], 4
            elif length == 127:
                if len(self.buffer) < 10:
                    return
                length, at = struct.unpack(">Q", self.buffer[2:10])[0], 10
            if len(self.buffer) < at + length:
                return
            payload, self.buffer = self.buffer[at: at + length], self.buffer[at + length:]
            if opcode == 1:
                self.messages += 1
                self.last = payload
            elif opcode == 8:
                self.closed = True


FUZZ = [
    lambda: b"\x00\xff" * random.randint(1, 3000),
    lambda: b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * random.randint(5000, 60000) + b"\r\n\r\n",
    lambda: b"POST /api/adjust HTTP/1.1\r\nHost: x\r\nContent-Length: 200000\r\n\r\n" + b"9" * 200000,
    lambda: b"POST /api/adjust HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n" + b"1" * 5000,
    lambda: b"GET /" + b"%" * random.randint(1, 9000) + b" HTTP/1.1\r\n\r\n",
    lambda: b"BREW /api/state HTTP/1.1\r\nHost: x\r\n\r\n",
    lambda: b"GET /api/state HTTP/9.9\r\n\r\n",
    lambda: b"POST /api/pause HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + os.urandom(64),
    lambda: b"GET / HTTP/1.1\r\n" + b"".join(b"H%d: v\r\n" % k for k in range(500)) + b"\r\n",
    lambda: b"GET / HTTP/1.1\r\nHost: x\r\n",  # a head never finished
    lambda: b"GET /socket HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n\r\n",
    lambda: b"POST /api/adjust?seconds=1e308 HTTP/1.1\r\nX-Lectern-Token: 0\r\nContent-Length: 0\r\n\r\n",
    lambda: os.urandom(random.randint(1, 8000)),
]


def fuzz(port, count, outcomes):
    """Sends `count` bad requests, a few at a time, and tallies the answers' status codes in `outcomes`."""
    lock = threading.Lock()

    def one(k):
        try:
            # A client that gives up after a second, as the unfinished ones would otherwise wait for the server.
            status = request(port, FUZZ[k % len(FUZZ)](), timeout=1.0)
        except OSError:
            status = "refused"
        with lock:
            outcomes[status] = outcomes.get(status, 0) + 1

    with ThreadPoolExecutor(max_workers=8) as pool:
        list(pool.map(one, range(count)))


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def bells(audio, timeline):
    """The first moment each burst of sound was seen, from the raw 16-bit output and (time, bytes) notes."""
    data = open(audio, "rb").read()
    samples = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
    starts, on, quiet = [], False, 0
    for k, v in enumerate(samples):
        if abs(v) > 1000:
            if not on:
                starts.append(k)
            on, quiet = True, 0
        elif on:
            quiet += 1
            if quiet > 2000:
                on = False
    return [next((t for t, n in timeline if n >= 2 * (s + 1)), None) for s in starts]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--viewers", type=int, default=64)
    p.add_argument("--seconds", type=float, default=120)
    p.add_argument("--fuzz", type=int, default=3000)
    p.add_argument("--token", default="")
    p.add_argument("--audio")
    p.add_argument("--bells", default="")
    a = p.parse_args()

    t0 = time.monotonic()
    state = get_json(a.port, "/api/state")
    count_start = t0 - state["elapsed"]
    timeline = []
    stop = threading.Event()

    def note_audio():
        while not stop.is_set():
            timeline.append((time.monotonic() - count_start, os.path.getsize(a.audio)))
            time.sleep(0.1)

    if a.audio:
        threading.Thread(target=note_audio, daemon=True).start()

    viewers = [Viewer(a.port) for _ in range(a.viewers)]
    check(True, "%d viewers connected" % len(viewers))
    check(http(a.port, "GET", "/") == 503, "one viewer more gets 503 for the page")
    try:
        extra = Viewer(a.port)
        time.sleep(0.5)
        extra.feed()
        check(extra.closed, "one viewer more is closed at once")
    except ConnectionError as error:
        check(True, "one viewer more is refused (%s)" % error)
    check(http(a.port, "POST", "/api/pause") == 403, "a command without the token gets 403")
    check(http(a.port, "POST", "/api/skip", {"X-Lectern-Token": "0" * 32}) == 403, "a wrong token gets 403")
    if a.token:
        check(http(a.port, "POST", "/api/adjust", {"X-Lectern-Token": a.token}, b"0") == 200,
              "the token's holder may command (adjust by 0)")

    fuzz_result = {}
    fuzzer = threading.Thread(target=fuzz, args=(a.port, a.fuzz, fuzz_result), daemon=True)
    fuzzer.start()

    selector = selectors.DefaultSelector()
    for v in viewers:
        selector.register(v.sock, selectors.EVENT_READ, v)
    samples = []
    cpu0, next_sample = cpu_seconds(a.pid), time.monotonic()
    end = t0 + a.seconds
    while time.monotonic() < end:
        for key, _ in selector.select(timeout=0.2):
            key.data.feed()
            if key.data.closed:
                selector.unregister(key.data.sock)
        if time.monotonic() >= next_sample:
            next_sample += 1.0
            st = get_json(a.port, "/api/state")
            samples.append((time.monotonic() - t0, cpu_seconds(a.pid), rss_kib(a.pid), st["elapsed"], st["phase"]))
    fuzzer.join(timeout=60)
    stop.set()

    span = samples[-1][0] - samples[0][0]
    cpu = 100.0 * (samples[-1][1] - samples[0][1]) / span
    rss = [s[2] for s in samples]
    phases = sorted({s[4] for s in samples})
    counted = samples[-1][3] - samples[0][3]
    open_viewers = sum(not v.closed for v in viewers)
    messages = sorted(v.messages for v in viewers)
    print("span %.1f s; Lectern CPU %.1f %% of one core; RSS %d KiB at the start, %d KiB at most, %d KiB at the end"
          % (span, cpu, rss[0], max(rss), rss[-1]))
    print("messages per viewer: least %d, most %d; viewers still open: %d; phases seen: %s"
          % (messages[0], messages[-1], open_viewers, phases))
    print("fuzz requests: %d sent, answers: %s" % (sum(fuzz_result.values()), fuzz_result))
    check(not fuzzer.is_alive() and sum(fuzz_result.values()) == a.fuzz, "every malformed request was answered or cut")
    check(abs(counted - span) < 2.0, "the count ran on through the load (%.1f s counted in %.1f s)" % (counted, span))
    check(open_viewers == len(viewers), "no well-behaved viewer was dropped")
    check(messages[0] >= span * 0.8, "every viewer was told about once a second (least %d in %.0f s)"
          % (messages[0], span))
    if a.audio and a.bells:
        seen = bells(a.audio, timeline)
        print("bells seen at (count seconds): %s" % ", ".join("%.2f" % t for t in seen if t is not None))
        for expected in (float(x) for x in a.bells.split(",")):
            near = [t for t in seen if t is not None and abs(t - expected) < 0.6]
            check(bool(near), "a bell at %.0f s (seen at %s)" % (expected, ", ".join("%.2f" % t for t in near)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
