#!/usr/bin/python3
"""Exchange part of velmora/bench/run (runs inside its sandbox): what an upstream sees.

A recording upstream answers every query and notes the source port and message ID it came
with. velmora, dnsmasq (cache off) and dnsdist (one backend) forward to it alone; a client sends
QUERIES queries one after another, each with a name of its own and all with the same ID (as some
stub resolvers do). Per forwarder: the distinct source ports and distinct IDs the upstream saw,
how often the client's own ID reached it, and how many distinct steps lie between consecutive
IDs (a counter shows one).

    exchange.py WORKDIR QUERIES
"""
import os
import socket
import subprocess
import sys
import threading
import time

from bench_lib import answer, query, wait_bound

work, queries = sys.argv[1], int(sys.argv[2])
VELMORA = os.environ["VELMORA"]
UPSTREAM = ("127.0.0.15", 53)
CLIENT_ID = 0x4242
UPSTREAM_ANSWER = bytes([192, 0, 2, 1])
FORWARDERS = {"velmora": "127.0.0.16", "dnsmasq": "127.0.0.17", "dnsdist": "127.0.0.18"}

seen = []  # (source port, ID) of every query the upstream received
seen_lock = threading.Lock()


def serve(sock):
    while True:
        data, peer = sock.recvfrom(4096)
        if len(data) >= 2:
            with seen_lock:
                seen.append((peer[1], int.from_bytes(data[:2], "big")))
        reply = answer(data, UPSTREAM_ANSWER)
        if reply:
            sock.sendto(reply, peer)


upstream = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
upstream.bind(UPSTREAM)
threading.Thread(target=serve, args=(upstream,), daemon=True).start()

with open(f"{work}/dnsdist-exchange.conf", "w") as f:
    f.write(f'setLocal("{FORWARDERS["dnsdist"]}:53")\n'
            f'newServer({{address="{UPSTREAM[0]}:53"}})\nsetSecurityPollSuffix("")\n')
procs = [
    subprocess.Popen([VELMORA, "--listen", f"{FORWARDERS['velmora']}:53",
                      "--s1", f"{UPSTREAM[0]}:53", "--s2", f"{UPSTREAM[0]}:53",
                      "--session-timeout", "2000", "--debug", "0"]),
    subprocess.Popen(["dnsmasq", "-k", "-C", "/dev/null", "--no-resolv", "--no-hosts",
                      "--bind-interfaces", f"--listen-address={FORWARDERS['dnsmasq']}",
                      "--port=53", "--user=root", "--pid-file=", "--cache-size=0",
                      f"--server={UPSTREAM[0]}", "--log-facility=/dev/null"]),
    subprocess.Popen(["dnsdist", "--supervised", "--disable-syslog", "-C",
                      f"{work}/dnsdist-exchange.conf"],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
]
try:
    for addr in FORWARDERS.values():
        wait_bound(addr)
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.settimeout(2)
    for name, addr in FORWARDERS.items():
        with seen_lock:
            seen.clear()
        answered = 0
        for i in range(queries):
            client.sendto(query(f"x{i}.{name}.exchange.test", CLIENT_ID), (addr, 53))
            try:
                while client.recv(4096)[:2] != CLIENT_ID.to_bytes(2, "big"):
                    pass
                answered += 1
            except TimeoutError:
                pass
        time.sleep(0.1)  # the last query's upstream leg
        with seen_lock:
            ports = [p for p, _ in seen]
            ids = [i for _, i in seen]
        steps = {(b - a) & 0xFFFF for a, b in zip(ids, ids[1:])}
        print(f"  {name:8} {queries} sequential queries ({answered} answered): upstream saw "
              f"{len(ids)} queries, {len(set(ports))} source ports, {len(set(ids))} distinct IDs, "
              f"the client's ID {ids.count(CLIENT_ID)} times, {len(steps)} distinct ID steps",
              flush=True)
finally:
    for p in procs:
        p.kill()
