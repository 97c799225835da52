#!/usr/bin/env python3
"""zembra-stream's web page and stream, read by clients we did not write.

Debian's python3-websockets reads the stream (the schema, the rate cap,
both hands, a hand pulled out and put back), plain sockets try every limit
(another site's page, the 33rd client, an idle client, paths out of the
page's files, oversized requests, clients that never read, a thousand
connections come and gone), and headless Chromium draws the page. Every
connection goes to loopback; every wait has a generous deadline.

    web_test.py [unittest arguments]   (ZEMBRA_STREAM_BIN, ZEMBRA_RECEIVER_SIM_BIN,
                                        ZEMBRA_CHROMIUM, ZEMBRA_THREE_JS_DIR in the environment)
"""
import asyncio
import json
import math
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

import websockets

STREAM = os.environ.get("ZEMBRA_STREAM_BIN", "zembra-stream")
SIM = os.environ.get("ZEMBRA_RECEIVER_SIM_BIN", "zembra-receiver-sim")
CHROMIUM = os.environ.get("ZEMBRA_CHROMIUM", "chromium")
THREE = os.environ.get("ZEMBRA_THREE_JS_DIR", "/usr/share/javascript/three")
FIELDS = {"v", "performer", "hand", "state", "count", "time", "joints", "status", "bends", "figure"}
FINGERS = ["thumb", "index", "middle", "ring", "pinky"]


def wait_for(condition, seconds, step=0.05):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class Rig:
    """A device tree of its own with simulated receivers, and zembra-stream."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="zembra-web-test-")
        self.env = dict(os.environ, ZEMBRA_SYSFS_ROOT=self.dir + "/sys", ZEMBRA_DEV_ROOT=self.dir + "/dev")
        os.makedirs(self.env["ZEMBRA_SYSFS_ROOT"])
        os.makedirs(self.env["ZEMBRA_DEV_ROOT"])
        self.sims = {}
        self.next = 0
        self.server = None
        self.url = None

    def plug(self, hand, serial, pose="moving"):
        log = "%s/%s.log" % (self.dir, serial)
        with open(log, "w") as out:
            sim = subprocess.Popen([SIM, "--hand", hand, "--register", "ttyUSB%d" % self.next, "--serial", serial,
                                    "--pose", pose], stdout=out, stderr=subprocess.STDOUT, env=self.env)
        self.next += 1
        self.sims[serial] = sim
        if not wait_for(lambda: "registered as" in read(log), 15):
            raise RuntimeError("the simulated receiver %s did not come up" % serial)

    def pull(self, serial):
        sim = self.sims.pop(serial)
        sim.send_signal(signal.SIGTERM)
        sim.wait(15)

    def start(self, *args, http="127.0.0.1:0"):
        self.log = self.dir + "/stream.log"
        words = [STREAM, "--quiet", "--vmc", "127.0.0.1:%d" % free_udp_port()]
        if http:
            words += ["--http", http]
        with open(self.log, "w") as out:
            self.server = subprocess.Popen(words + list(args), stdout=out, stderr=subprocess.STDOUT, env=self.env)
        found = wait_for(lambda: re.search(r"web page at (http://\S+/) ", read(self.log)) or self.server.poll() is not None,
                         30)
        if not isinstance(found, re.Match):
            raise RuntimeError("zembra-stream did not say where its page is:\n" + read(self.log))
        self.url = found.group(1)
        self.port = int(self.url.rsplit(":", 1)[1].strip("/"))
        return self.url

    def stop(self):
        if self.server and self.server.poll() is None:
            self.server.send_signal(signal.SIGTERM)
            self.server.wait(30)
        return self.server.returncode if self.server else None

    def expect_clean_exit(self):
        """Stops the server; it must end with 0 (a sanitizer's report ends it otherwise)."""
        code = self.stop()
        if code != 0:
            raise AssertionError("zembra-stream ended with %r:\n%s" % (code, read(self.log)[-4000:]))

    def close(self):
        self.stop()
        for serial in list(self.sims):
            self.pull(serial)
        shutil.rmtree(self.dir, ignore_errors=True)

    def descriptors(self):
        return len(os.listdir("/proc/%d/fd" % self.server.pid))

    def threads(self):
        return len(os.listdir("/proc/%d/task" % self.server.pid))

    def ws(self, query="", **options):
        options.setdefault("open_timeout", 20)
        return websockets.connect("ws://127.0.0.1:%d/stream%s" % (self.port, query), max_size=1 << 20, **options)


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def exchange(port, request, seconds=20):
    """Sends raw request bytes; the status, the header text and the body."""
    with socket.create_connection(("127.0.0.1", port), timeout=seconds) as s:
        s.sendall(request)
        data = b""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            head, sep, body = data.partition(b"\r\n\r\n")
            if sep:
                length = re.search(rb"(?i)content-length: *(\d+)", head)
                if length and len(body) >= int(length.group(1)):
                    break
            try:
                chunk = s.recv(65536)
            except (ConnectionResetError, socket.timeout):
                break
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/1.1 ") else 0
    return status, head.decode("latin-1"), body


def get(port, path, host="127.0.0.1", extra=""):
    return exchange(port, ("GET %s HTTP/1.1\r\nHost: %s\r\n%sConnection: close\r\n\r\n" % (path, host, extra))
                    .encode("latin-1"))


async def collect(connection, seconds):
    """Every message that arrives within the time, with when it came."""
    got = []
    end = time.monotonic() + seconds
    while True:
        left = end - time.monotonic()
        if left <= 0:
            return got
        try:
            text = await asyncio.wait_for(connection.recv(), left)
        except asyncio.TimeoutError:
            return got
        got.append((time.monotonic(), json.loads(text)))


def unit(q):
    return abs(math.sqrt(sum(c * c for c in q)) - 1) < 1e-3


class StreamTest(unittest.TestCase):
    """One pair of moving gloves, one server; what a client reads and what it may not do."""

    @classmethod
    def setUpClass(cls):
        cls.rig = Rig()
        cls.rig.plug("left", "ZEMBRA-LH0-0000")
        cls.rig.plug("right", "ZEMBRA-RH0-0001")
        cls.rig.start("--allow-origin", "http://studio.example:8080")

    @classmethod
    def tearDownClass(cls):
        try:
            cls.rig.expect_clean_exit()
        finally:
            cls.rig.close()

    def messages(self, seconds, query="", **options):
        async def run():
            async with self.rig.ws(query, **options) as c:
                return await collect(c, seconds)
        return asyncio.run(run())

    def streaming_messages(self, seconds, query=""):
        # Until both hands stream, then for the time asked.
        def both():
            got = self.messages(1, query)
            return {m["hand"] for _, m in got if m["state"] == "streaming"} == {"left", "right"}
        self.assertTrue(wait_for(both, 30, 0.2), "both hands streaming")
        return self.messages(seconds, query)

    def test_messages_follow_schema_1_for_both_hands(self):
        got = self.streaming_messages(2)
        self.assertGreater(len(got), 60)
        last = {}
        for _, m in got:
            self.assertEqual(set(m), FIELDS, m.keys())
            self.assertEqual(m["v"], 1)
            self.assertEqual(m["performer"], 0)
            self.assertIn(m["hand"], ("left", "right"))
            self.assertEqual(m["state"], "streaming")
            self.assertEqual(len(m["joints"]), 16)
            self.assertTrue(all(len(q) == 4 and unit(q) for q in m["joints"]), m["joints"])
            self.assertEqual(set(m["bends"]), set(FINGERS))
            self.assertTrue(all(0 <= m["bends"][f] <= 360 for f in FINGERS), m["bends"])
            self.assertEqual(len(m["status"]["table"]), 6)
            self.assertIsInstance(m["status"]["byte"], int)
            self.assertIsInstance(m["status"]["value"], (int, float))
            figure = m["figure"]
            self.assertEqual(len(figure["points"]), 21)
            self.assertEqual(len(figure["palm"]), 7)
            self.assertTrue(unit(figure["back"]))
            self.assertGreater(figure["radius"], 0.003)
            # Each hand newer than its last, and the newest: the simulator
            # delivers 200 a second, more than asked for.
            before = last.get(m["hand"])
            if before:
                self.assertGreater(m["count"], before["count"])
                self.assertGreater(m["time"], before["time"])
            last[m["hand"]] = m
        self.assertEqual(set(last), {"left", "right"})
        # The hands sit apart, as the skeleton places them.
        self.assertGreater(math.dist(last["left"]["figure"]["points"][0], last["right"]["figure"]["points"][0]), 0.1)

    def test_rate_is_capped_per_client_and_shared_by_the_hands(self):
        for query, rate in (("?rate=20", 20), ("", 60)):
            got = self.streaming_messages(3.5, query)
            start = got[0][0]
            window = [m for t, m in got if start + 0.5 <= t < start + 3.5]
            self.assertLessEqual(len(window), 3 * rate + 3, query)
            self.assertGreaterEqual(len(window), 3 * rate * 0.8, query)
            left = sum(m["hand"] == "left" for m in window)
            self.assertGreater(left, len(window) * 0.3, query)
            self.assertLess(left, len(window) * 0.7, query)

    def test_snapshot_has_every_hand_with_its_rate_and_a_view(self):
        self.streaming_messages(0.1)
        status, head, body = get(self.rig.port, "/hands")
        self.assertEqual(status, 200, head)
        self.assertIn("application/json", head)
        snapshot = json.loads(body)
        self.assertEqual(snapshot["v"], 1)
        self.assertEqual(sorted(h["hand"] for h in snapshot["hands"]), ["left", "right"])
        for h in snapshot["hands"]:
            self.assertEqual(h["state"], "streaming")
            self.assertGreater(h["rate"], 150)
            self.assertLess(h["rate"], 250)
            self.assertEqual(len(h["joints"]), 16)
        self.assertEqual(set(snapshot["view"]), {"target", "eye", "up", "fov", "extent", "floor"})

    def test_the_stream_is_read_only_and_a_client_may_say_little(self):
        async def run():
            async with self.rig.ws() as c:
                await c.send("align")
                await c.send(b"\x00" * 100)
                got = await collect(c, 1)
                self.assertGreater(len(got), 20)
                await c.send("x" * 10000)  # beyond what a client may send at once
                with self.assertRaises(websockets.ConnectionClosed):
                    await collect(c, 10)
                    await c.recv()
        asyncio.run(run())

    def test_pages_of_other_sites_are_refused_and_allowed_ones_connect(self):
        own = "http://127.0.0.1:%d" % self.rig.port
        for origin in ("http://evil.example", "http://127.0.0.1:3000", "null"):
            with self.assertRaises(websockets.InvalidStatusCode) as refused:
                self.messages(0.1, origin=origin)
            self.assertEqual(refused.exception.status_code, 403, origin)
        for origin in (own, "http://studio.example:8080"):
            self.assertTrue(self.messages(0.5, origin=origin), origin)
        # A page whose own name points at this address, Origin and Host alike.
        status, _, _ = exchange(self.rig.port, (
            "GET /stream HTTP/1.1\r\nHost: rebound.example:%d\r\nOrigin: http://rebound.example:%d\r\n"
            "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Sec-WebSocket-Version: 13\r\n\r\n" % (self.rig.port, self.rig.port)).encode())
        self.assertEqual(status, 403)
        status, head, _ = get(self.rig.port, "/hands", extra="Origin: http://studio.example:8080\r\n")
        self.assertIn("Access-Control-Allow-Origin: http://studio.example:8080", head)

    def test_only_the_pages_own_files_are_served(self):
        status, head, body = get(self.rig.port, "/")
        self.assertEqual(status, 200)
        self.assertIn(b"/hands.js", body)
        self.assertEqual(get(self.rig.port, "/hands.js")[0], 200)
        with open(THREE + "/three.min.js", "rb") as f:
            self.assertEqual(get(self.rig.port, "/three/three.min.js")[2], f.read())
        for path in ("/../../../../etc/passwd", "/three/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd",
                     "/three/..%2f..%2f..%2fetc%2fpasswd", "/..\\..\\etc\\passwd", "//etc/passwd"):
            status, _, body = get(self.rig.port, path)
            self.assertEqual(status, 403, path)
            self.assertNotIn(b"root:", body)
        for path in ("/etc/passwd", "/three/three.js", "/index.html", "/hands.json"):
            self.assertEqual(get(self.rig.port, path)[0], 404, path)
        status, _, _ = exchange(self.rig.port, b"POST /hands HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}")
        self.assertEqual(status, 405)

    def test_requests_are_bounded_in_size_fields_and_time(self):
        status, _, _ = get(self.rig.port, "/", extra="X-Long: %s\r\n" % ("a" * 9000))
        self.assertEqual(status, 431)
        status, _, _ = get(self.rig.port, "/", extra="".join("X-%d: 1\r\n" % i for i in range(100)))
        self.assertEqual(status, 431)
        status, _, _ = exchange(self.rig.port, b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5000\r\n\r\n" +
                                b"a" * 5000)
        self.assertEqual(status, 413)
        # Connected and silent, or half a request and silent: closed, not kept.
        for said in (b"", b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"):
            with socket.create_connection(("127.0.0.1", self.rig.port)) as s:
                s.sendall(said)
                s.settimeout(30)
                start = time.monotonic()
                try:
                    while s.recv(4096):
                        pass
                except ConnectionResetError:
                    pass
                self.assertLess(time.monotonic() - start, 15, said)


def handshake(port, rate):
    """A WebSocket client that opens the stream and never reads a message."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.connect(("127.0.0.1", port))
    s.sendall(("GET /stream?rate=%d HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n" % (rate, port)).encode())
    reply = b""
    while b"\r\n\r\n" not in reply:
        reply += s.recv(1)
    assert reply.startswith(b"HTTP/1.1 101"), reply
    return s


class LimitsTest(unittest.TestCase):
    """A server of its own: at most 32 clients; clients that never read or come and go leave nothing behind."""

    def setUp(self):
        self.rig = Rig()
        self.rig.plug("left", "ZEMBRA-LH0-0000")
        self.rig.plug("right", "ZEMBRA-RH0-0001")
        self.rig.start()

    def tearDown(self):
        try:
            self.rig.expect_clean_exit()
        finally:
            self.rig.close()

    def test_the_33rd_client_is_told_503_and_a_freed_place_is_taken_again(self):
        async def run():
            clients = [await self.rig.ws() for _ in range(32)]
            try:
                status, head, _ = await asyncio.to_thread(get, self.rig.port, "/")
                self.assertEqual(status, 503, head)
                self.assertIn("Retry-After", head)
                await clients.pop().close()
                free = await asyncio.to_thread(wait_for, lambda: get(self.rig.port, "/")[0] == 200, 20, 0.2)
                self.assertTrue(free)
            finally:
                for c in clients:
                    await c.close()
        asyncio.run(run())

    def test_clients_that_never_read_or_come_and_go_leave_nothing_and_slow_no_one(self):
        async def cycles(n):
            for _ in range(n):
                async with self.rig.ws() as c:
                    await c.recv()
        asyncio.run(cycles(3))
        baseline, threads = self.rig.descriptors(), self.rig.threads()

        async def run():
            async with self.rig.ws("?rate=50") as reader:
                await collect(reader, 1)
                sleepers = [await asyncio.to_thread(handshake, self.rig.port, 1000) for _ in range(24)]
                got = await collect(reader, 4)
                for s in sleepers:
                    s.close()
                return got
        got = asyncio.run(run())
        # Counted by the poses' own times (a message carries the newest pose,
        # so its time is when it was sent, give or take a burst): what the
        # client library queued while the sleepers were connecting does not
        # crowd into the window.
        times = sorted(m["time"] for _, m in got if "time" in m)
        start = times[0] + 0.5
        window = [t for t in times if start <= t < start + 3]
        self.assertGreaterEqual(len(window), 3 * 50 * 0.8)
        self.assertLessEqual(len(window), 3 * 50 + 3)
        asyncio.run(cycles(300))
        self.assertTrue(wait_for(lambda: self.rig.descriptors() <= baseline, 30, 0.2),
                        "%d descriptors, %d before" % (self.rig.descriptors(), baseline))
        # A fixed set of threads serves every client, however many came.
        self.assertEqual(self.rig.threads(), threads)

    def test_a_client_that_never_reads_is_closed_once_it_answers_nothing(self):
        s = handshake(self.rig.port, 1000)
        with s:
            before = self.rig.descriptors()
            # The server closes it (its descriptor goes) while the client still holds it.
            self.assertTrue(wait_for(lambda: self.rig.descriptors() < before, 30, 0.2))


class UnplugTest(unittest.TestCase):
    def test_a_hand_pulled_out_and_put_back_is_told_to_every_client(self):
        rig = Rig()
        try:
            rig.plug("left", "ZEMBRA-LH0-0000")
            rig.plug("right", "ZEMBRA-RH0-0001")
            rig.start()

            async def run():
                async with rig.ws() as c:
                    async def until(what, seconds):
                        end = time.monotonic() + seconds
                        states = []
                        while time.monotonic() < end:
                            m = json.loads(await asyncio.wait_for(c.recv(), end - time.monotonic()))
                            states.append((m["hand"], m["state"]))
                            if what(m):
                                return states
                        self.fail("not within %d s: %s" % (seconds, states[-10:]))

                    await until(lambda m: m["hand"] == "left" and m["state"] == "streaming", 30)
                    await asyncio.to_thread(rig.pull, "ZEMBRA-LH0-0000")
                    states = await until(lambda m: m["hand"] == "left" and m["state"] == "no receiver", 30)
                    self.assertIn(("right", "streaming"), states)
                    await asyncio.to_thread(rig.plug, "left", "ZEMBRA-LH0-0000")
                    await until(lambda m: m["hand"] == "left" and m["state"] == "streaming", 40)
            asyncio.run(run())
            rig.expect_clean_exit()
        finally:
            rig.close()


def chromium(url, out, size, dump=False):
    profile = tempfile.mkdtemp(prefix="zembra-chromium-")
    try:
        words = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--enable-unsafe-swiftshader", "--user-data-dir=" + profile, "--window-size=%d,%d" % size,
                 "--virtual-time-budget=4000", "--dump-dom" if dump else "--screenshot=" + out, url]
        run = subprocess.run(words, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        return run.stdout.decode("utf-8", "replace")
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def png_pixels(path):
    """The rows of an 8-bit RGB or RGBA PNG, as lists of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunk = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            assert depth == 8 and colour in (2, 6) and interlace == 0
        elif kind == b"IDAT":
            idat += chunk
        at += 12 + length
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 1:
            for i in range(step, stride):
                line[i] = (line[i] + line[i - step]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, previous))
        elif kind == 3:
            for i in range(stride):
                line[i] = (line[i] + ((line[i - step] if i >= step else 0) + previous[i]) // 2) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - step] if i >= step else 0
                b, c = previous[i], previous[i - step] if i >= step else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return rows


def hand_of(pixel):
    """'left' for the left hand's green, 'right' for the right hand's blue, however lit."""
    r, g, b = pixel
    if g > r + 15 and g > b + 60 and r > b + 30:
        return "left"
    if b > g + 20 and g > r + 40:
        return "right"
    return None


def classify(rows):
    """Each pixel's hand below the panels (the top third, where the bars share the colours)."""
    return [[hand_of(p) for p in row] for row in rows[len(rows) // 3:]]


class PageTest(unittest.TestCase):
    def test_the_page_draws_both_hands_in_their_colours_and_halves_moving_and_on_a_phone(self):
        rig = Rig()
        try:
            rig.plug("left", "ZEMBRA-LH0-0000")
            rig.plug("right", "ZEMBRA-RH0-0001")
            url = rig.start()
            shots = []
            for i, size in enumerate(((800, 500), (800, 500), (360, 740))):
                path = "%s/shot%d.png" % (rig.dir, i)

                # Until the page has had its first poses (a loaded machine may take a while).
                def drawn():
                    chromium(url, path, size)
                    if not os.path.exists(path):
                        return None
                    seen = classify(png_pixels(path))
                    return seen if sum(row.count("left") for row in seen) > 200 else None
                seen = wait_for(drawn, 90, 0.5)
                self.assertTrue(seen, "the page drew no hand")
                shots.append(seen)
                half = size[0] // 2
                count = {(hand, side): sum(row[x] == hand for row in seen for x in range(*span))
                         for hand in ("left", "right") for side, span in (("l", (0, half)), ("r", (half, size[0])))}
                self.assertGreater(count["left", "l"], 300, count)
                self.assertGreater(count["right", "r"], 300, count)
                # A moving hand may reach over the middle now and then; each
                # hand lies mostly, and with its centre, in its own half.
                self.assertGreater(count["left", "l"], 2 * count["left", "r"], count)
                self.assertGreater(count["right", "r"], 2 * count["right", "l"], count)
                for hand, inside in (("left", lambda x: x < half), ("right", lambda x: x >= half)):
                    xs = [x for row in seen for x, h in enumerate(row) if h == hand]
                    self.assertTrue(inside(sum(xs) / len(xs)), (hand, sum(xs) / len(xs), count))
            # The hands moved between the first two pictures.
            changed = sum(a != b for ra, rb in zip(shots[0], shots[1]) for a, b in zip(ra, rb))
            self.assertGreater(changed, 200)
            rig.expect_clean_exit()
        finally:
            rig.close()


class DefaultTest(unittest.TestCase):
    def test_by_default_it_listens_on_loopback_and_says_when_no_glove_streams(self):
        rig = Rig()
        try:
            with socket.socket() as probe:
                try:
                    probe.bind(("127.0.0.1", 8765))
                except OSError:
                    self.skipTest("port 8765 is in use here")
            url = rig.start(http=None)
            self.assertEqual(url, "http://127.0.0.1:8765/")
            # Every socket it listens on is bound to 127.0.0.1.
            inodes = {os.readlink("/proc/%d/fd/%s" % (rig.server.pid, fd))[8:-1]
                      for fd in os.listdir("/proc/%d/fd" % rig.server.pid)
                      if os.readlink("/proc/%d/fd/%s" % (rig.server.pid, fd)).startswith("socket:")}
            listening = []
            for table in ("/proc/net/tcp", "/proc/net/tcp6"):
                with open(table) as f:
                    for line in f.readlines()[1:]:
                        words = line.split()
                        if words[3] == "0A" and words[9] in inodes:
                            listening.append(words[1])
            self.assertEqual(listening, ["0100007F:%04X" % 8765])
            dom = chromium(url, None, (800, 500), dump=True)
            self.assertIn("No glove is streaming", dom)
            snapshot = json.loads(get(8765, "/hands")[2])
            self.assertEqual(snapshot["hands"], [])
            self.assertEqual(rig.stop(), 0)
            self.assertIn("web http://127.0.0.1:8765/:", read(rig.log))
        finally:
            rig.close()


if __name__ == "__main__":
    unittest.main()
