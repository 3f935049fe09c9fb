#!/usr/bin/python3
"""Dead-primary part of velmora/bench/run (runs inside its sandbox, after the other parts).

A primary that is silent (a bound socket nobody reads), the bench's dnsmasq at 127.0.0.10 as the
secondary. velmora (session time-out 2000 ms, hold-down 10 s) beside dnsmasq in its default mode
with the same two servers. Once the primary is out (velmora: the first query has paid its
time-outs), dnsperf sends a fixed 500 QPS for SECONDS to each, and to the secondary itself for
its own latency. Then the primary comes back (answering with an address of its own) while a
client asks velmora 100 times a second: the time to the first answer that came from the primary.

    dead_primary.py WORKDIR SECONDS
"""
import os
import re
import socket
import subprocess
import sys
import threading
import time

from bench_lib import answer, query, wait_bound

work, secs = sys.argv[1], int(sys.argv[2])
VELMORA = os.environ["VELMORA"]
PRIMARY = ("127.0.0.12", 53)
SECONDARY = "127.0.0.10"
HOLD_DOWN = 10
PRIMARY_ANSWER = bytes([192, 0, 2, 12])

procs = []


def perf(addr, name):
    out = subprocess.run(["dnsperf", "-s", addr, "-d", f"{work}/names", "-l", str(secs),
                          "-Q", "500", "-q", "1000", "-t", "5", "-v"],
                         capture_output=True, text=True).stdout
    lat = sorted(float(l.split()[-1]) * 1000 for l in out.splitlines() if l.startswith("> NOERROR"))
    sent = int(re.search(r"Queries sent:\s+(\d+)", out).group(1))
    done = int(re.search(r"Queries completed:\s+(\d+)", out).group(1))
    p99 = lat[min(len(lat) - 1, int(len(lat) * 0.99))] if lat else float("nan")
    p50 = lat[len(lat) // 2] if lat else float("nan")
    print(f"  {name:9} sent {sent:6}  answered {100.0 * done / max(sent, 1):6.2f} %"
          f"  p50 {p50:7.3f} ms  p99 {p99:7.3f} ms", flush=True)
    return p99


silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
silent.bind(PRIMARY)

procs.append(subprocess.Popen(
    [VELMORA, "--listen", "127.0.0.13:53", "--s1", f"{PRIMARY[0]}:53", "--s2", f"{SECONDARY}:53",
     "--session-timeout", "2000", "--hold-down", str(HOLD_DOWN), "--debug", "0"]))
procs.append(subprocess.Popen(
    ["dnsmasq", "-k", "-C", "/dev/null", "--no-resolv", "--no-hosts", "--bind-interfaces",
     "--listen-address=127.0.0.14", "--port=53", "--user=root", "--pid-file=", "--cache-size=0",
     f"--server={PRIMARY[0]}", f"--server={SECONDARY}", "--log-facility=/dev/null"]))
wait_bound("127.0.0.13")
wait_bound("127.0.0.14")

try:
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.settimeout(15)
    for addr in ("127.0.0.13", "127.0.0.14"):
        t0 = time.monotonic()
        client.sendto(query("first.bench.test", 1), (addr, 53))
        client.recv(4096)
        print(f"  first query through {addr} (primary just died): {time.monotonic() - t0:.2f} s")

    p99 = {"velmora": perf("127.0.0.13", "velmora"), "dnsmasq": perf("127.0.0.14", "dnsmasq"),
           "secondary": perf(SECONDARY, "secondary")}
    for name in ("velmora", "dnsmasq"):
        print(f"  p99 {name} - secondary's own: {p99[name] - p99['secondary']:+.3f} ms")

    # The primary comes back: a fresh socket (nothing queued) that answers everything.
    silent.close()
    primary = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    primary.bind(PRIMARY)
    back_at = time.monotonic()

    def serve():
        while True:
            data, peer = primary.recvfrom(4096)
            reply = answer(data, PRIMARY_ANSWER)
            if reply:
                primary.sendto(reply, peer)

    threading.Thread(target=serve, daemon=True).start()
    client.settimeout(0.01)
    first = None
    n = 0
    while first is None and time.monotonic() - back_at < 3 * HOLD_DOWN:
        n += 1
        client.sendto(query(f"back{n}.bench.test", n & 0xFFFF), ("127.0.0.13", 53))
        end = time.monotonic() + 0.01
        while time.monotonic() < end:
            try:
                reply = client.recv(4096)
            except (TimeoutError, BlockingIOError):
                break
            if reply.endswith(PRIMARY_ANSWER):
                first = time.monotonic() - back_at
                break
    shown = f"{first:.2f} s" if first is not None else f"none within {3 * HOLD_DOWN} s"
    print(f"  primary back -> its first answer relayed by velmora: {shown}"
          f" (hold-down {HOLD_DOWN} s)")
finally:
    for p in procs:
        p.kill()
