#!/usr/bin/env python3
"""zembra-stream's web output under many clients, as a program on simulated
receivers: the server's processor use with one pair at 200 bursts/s, VMC on
(to a loopback socket) and ten WebSocket clients at ?rate=60, each client's
message rate; then a thousand connect/disconnect cycles and a hundred
clients that open the stream and never read, twice, with the server's
descriptors, threads and resident size before and after each round, and the
rate a reading client keeps meanwhile. The clients are Debian's
python3-websockets and plain sockets, all on loopback.

    python3 bench/web_clients.py [build-dir] [--cpu-seconds N] [--cycles N] [--sleepers N]
"""
import argparse
import asyncio
import os
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "stream"))
import web_test  # noqa: E402  (the tests' rig: device tree, receivers, server)


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def wakeups(pid):
    """Times the server's threads went to sleep and were woken, all told."""
    n = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                n += sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt_switches:"))
        except FileNotFoundError:
            pass
    return n


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        words = f.read().rsplit(")", 1)[1].split()
    return (int(words[11]) + int(words[12])) / os.sysconf("SC_CLK_TCK")


def sleeper(port):
    """Opens the stream and never reads; the status line of the answer."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.settimeout(20)
    s.connect(("127.0.0.1", port))
    s.sendall(("GET /stream?rate=1000 HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
               "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
               "Sec-WebSocket-Version: 13\r\n\r\n" % port).encode())
    reply = b""
    while b"\r\n" not in reply:
        chunk = s.recv(1)
        if not chunk:
            break
        reply += chunk
    return s, reply.split(b"\r\n")[0].decode("latin-1")


async def read_for(rig, seconds, query):
    async with rig.ws(query) as c:
        return len(await web_test.collect(c, seconds))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="out/build")
    parser.add_argument("--cpu-seconds", type=float, default=20)
    parser.add_argument("--cycles", type=int, default=1000)
    parser.add_argument("--sleepers", type=int, default=100)
    args = parser.parse_args()
    web_test.STREAM = os.path.join(args.build, "stream", "zembra-stream")
    web_test.SIM = os.path.join(args.build, "sim", "zembra-receiver-sim")

    # The VMC destination: a socket that is there and is not read.
    vmc = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    vmc.bind(("127.0.0.1", 0))
    web_test.free_udp_port = lambda: vmc.getsockname()[1]

    rig = web_test.Rig()
    try:
        rig.plug("left", "ZEMBRA-LH0-0000")
        rig.plug("right", "ZEMBRA-RH0-0001")
        rig.start()
        pid = rig.server.pid
        web_test.wait_for(lambda: asyncio.run(read_for(rig, 0.5, "")) > 10, 30, 0.2)

        async def ten_clients(seconds):
            async def one():
                async with rig.ws("?rate=60") as c:
                    await web_test.collect(c, 1)  # under way first
                    c0, w0, t0 = cpu_seconds(pid), wakeups(pid), time.monotonic()
                    n = len(await web_test.collect(c, seconds))
                    return n, c0, t0, cpu_seconds(pid), time.monotonic(), w0, wakeups(pid)
            return await asyncio.gather(*(one() for _ in range(10)))

        c0, w0, t0 = cpu_seconds(pid), wakeups(pid), time.monotonic()
        time.sleep(args.cpu_seconds)
        alone = 100 * (cpu_seconds(pid) - c0) / (time.monotonic() - t0)
        alone_wakes = (wakeups(pid) - w0) / (time.monotonic() - t0)
        got = asyncio.run(ten_clients(args.cpu_seconds))
        c0, t0 = min(g[1] for g in got), min(g[2] for g in got)
        c1, t1 = max(g[3] for g in got), max(g[4] for g in got)
        wakes = (max(g[6] for g in got) - min(g[5] for g in got)) / (t1 - t0)
        rates = sorted(g[0] / args.cpu_seconds for g in got)
        print("zembra-stream web output, one pair at 200 bursts/s, VMC on, 10 WebSocket clients at ?rate=60")
        print("  server CPU %.2f%% of one core over %.0f s (%.2f%% with no web client)" %
              (100 * (c1 - c0) / (t1 - t0), t1 - t0, alone))
        print("  server wake-ups/s, all threads: %.0f (%.0f with no web client)" % (wakes, alone_wakes))
        print("  client messages/s: lowest %.1f, highest %.1f" % (rates[0], rates[-1]))

        time.sleep(1)
        before = (rig.descriptors(), rig.threads(), resident_kb(pid))

        async def cycles(n):
            for _ in range(n):
                async with rig.ws() as c:
                    await c.recv()

        async def sleepers_and_a_reader():
            async with rig.ws("?rate=50") as reader:
                await web_test.collect(reader, 1)
                held, answers = [], {}
                for _ in range(args.sleepers):
                    s, status = await asyncio.to_thread(sleeper, rig.port)
                    held.append(s)
                    answers[status] = answers.get(status, 0) + 1
                n = len(await web_test.collect(reader, 5))
                for s in held:
                    s.close()
                return answers, n / 5

        # Twice: what the first round leaves is the allocator keeping the
        # most the clients held at once; the second must leave no more.
        for round in (1, 2):
            start = time.monotonic()
            asyncio.run(cycles(args.cycles))
            print("  round %d: %d connect/disconnect cycles (each read one message) in %.1f s" %
                  (round, args.cycles, time.monotonic() - start))
            answers, rate = asyncio.run(sleepers_and_a_reader())
            print("  round %d: %d clients that never read: %s; a reading client at ?rate=50 meanwhile: "
                  "%.1f messages/s" % (round, args.sleepers,
                                       ", ".join("%d %s" % (n, a) for a, n in sorted(answers.items())), rate))
            web_test.wait_for(lambda: rig.descriptors() <= before[0], 30, 0.2)
            time.sleep(1)
            after = (rig.descriptors(), rig.threads(), resident_kb(pid))
            print("  round %d: descriptors %d before, %d after; threads %d before, %d after; "
                  "resident %d kB before, %d kB after" %
                  (round, before[0], after[0], before[1], after[1], before[2], after[2]))
    finally:
        rig.close()


if __name__ == "__main__":
    main()
