#!/usr/bin/python3
"""Black-box tests of what an upstream server sees of velmora, and of what an attacker off the
path would have to guess: a recording fake upstream notes the source port and message ID of every
query; a client that always uses the same ID (as some stub resolvers do). Runs in the router
sandbox's private network namespace on loopback addresses."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fakes.fake_upstream import fake_upstream  # noqa: E402
from bb_lib import (add_loopback_addresses, case, check, check_eq,  # noqa: E402
                    check_no_datagram, enter_sandbox, raw_query, run_cases, udp_client,
                    velmora_process)

enter_sandbox(__file__)
add_loopback_addresses(3)

LISTEN = ("127.0.0.1", 5500)
CLIENT_ID = 0x4242
S1 = fake_upstream("127.0.0.2", 5501, "s1")
S2 = fake_upstream("127.0.0.3", 5502, "s2")
V = velmora_process(f"{LISTEN[0]}:{LISTEN[1]}", S1.text, S2.text, timeout_ms=300)
if not V.wait_line("Velmora running"):
    print("velmora did not start:", V.log(), V.proc.stderr.read(), file=sys.stderr)
    sys.exit(1)
client = udp_client()
client.settimeout(3)


def ask(name):
    """One query with the client's fixed ID; returns the reply (or None)."""
    client.sendto(raw_query(name, CLIENT_ID), LISTEN)
    try:
        return client.recv(4096)
    except TimeoutError:
        return None


def seen_since(fake, mark):
    with fake.lock:
        return fake.seen[mark:]


def mark(fake):
    with fake.lock:
        return len(fake.seen)


@case
def ids_are_random_per_attempt_and_restored():
    S1.mode = S2.mode = "noerror"
    m = mark(S1)
    replies = [ask(f"id{i}.test") for i in range(40)]
    check(all(r is not None and r[:2] == CLIENT_ID.to_bytes(2, "big") for r in replies),
          "every reply carries the client's own ID")
    ids = [qid for _, _, qid in seen_since(S1, m)]
    check_eq(40, len(ids), "queries the upstream saw")
    check(ids.count(CLIENT_ID) <= 1, f"the client's ID is not passed on: {ids}")
    check(len(set(ids)) >= 39, f"IDs differ from query to query: {len(set(ids))} of 40")
    steps = {(b - a) & 0xFFFF for a, b in zip(ids, ids[1:])}
    check(len(steps) > 30, f"IDs are no counter: {len(steps)} distinct steps")

    # Every attempt draws its own: three attempts at a failing primary, three IDs.
    S1.mode = "servfail"
    m1, m2 = mark(S1), mark(S2)
    r = ask("retry.test")
    check(r is not None and r[:2] == CLIENT_ID.to_bytes(2, "big"), "answered by the secondary")
    tries = [qid for _, _, qid in seen_since(S1, m1)] + [qid for _, _, qid in seen_since(S2, m2)]
    check_eq(4, len(tries), "three attempts at the primary, one at the secondary")
    check_eq(4, len(set(tries)), f"each attempt under an ID of its own: {tries}")
    S1.mode = "noerror"


@case
def source_ports_change_within_four_attempts():
    S1.mode = "noerror"
    m = mark(S1)
    for i in range(40):
        check(ask(f"port{i}.test") is not None, f"query {i} answered")
    ports = [port for _, port, _ in seen_since(S1, m)]
    runs = [ports[i:i + 5] for i in range(len(ports) - 4)]
    check(all(len(set(w)) > 1 for w in runs), f"no port carries five attempts in a row: {ports}")
    check(len(set(ports)) >= 10, f"at most four attempts per socket: {len(set(ports))} ports")


def open_ports_towards(fake):
    """Local ports of the UDP sockets connected to fake (the daemon's, idle or busy)."""
    want = f"{''.join(f'{int(b):02X}' for b in reversed(fake.addr.split('.')))}:{fake.port:04X}"
    with open("/proc/net/udp") as f:
        rows = [line.split() for line in f][1:]
    return {int(r[1].split(":")[1], 16) for r in rows if r[2] == want}


@case
def a_port_idle_for_long_is_not_used_again():
    # After a pause of more than 2 s, the next attempt goes out from none of the ports the
    # daemon held open towards the server while it was idle.
    S1.mode = "noerror"
    for i in range(8):
        ask(f"warm{i}.test")
    before = open_ports_towards(S1)
    check(len(before) >= 4, f"idle sockets to choose from: {sorted(before)}")
    time.sleep(2.2)
    m = mark(S1)
    check(ask("after-pause.test") is not None, "answered after the pause")
    port = [p for _, p, _ in seen_since(S1, m)]
    check(len(port) == 1 and port[0] not in before, f"a fresh port: {port} vs {sorted(before)}")


@case
def forged_replies_are_never_relayed():
    # The primary's answer is preceded by two forgeries: the client's own ID from the primary's
    # address and port, and the attempt's real ID from another port of the primary's address.
    # Only the real answer, 50 ms later, may reach the client.
    S1.mode = "forged"
    S1.forge_id = CLIENT_ID
    for i in range(5):
        r = ask(f"forged{i}.test")
        check(r is not None and r.endswith(bytes([192, 0, 2, 1])),
              f"query {i}: the real answer, not a forgery: {r!r}")
        check(V.wait_line(f"[domain: forged{i}.test] Reply from {S1.text} (priority 1)"),
              f"query {i}: answered by the primary")
    check_no_datagram(client, 0.2, "a forgery reached the client")
    S1.mode = "noerror"


status = run_cases(set(sys.argv[1:]) or None)
V.stop()
sys.exit(status)
