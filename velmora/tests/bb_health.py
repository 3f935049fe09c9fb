#!/usr/bin/python3
"""Black-box tests of velmora's health memory (--hold-down): dig as the client, dnsmasq as the
good secondary, a scriptable dnspython fake as the primary that falls silent and comes back.
Runs in the router sandbox's private network namespace on loopback addresses."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fakes.fake_upstream import fake_upstream  # noqa: E402
from bb_lib import (RESOLV, add_loopback_addresses, answer_of, case, check,  # noqa: E402
                    check_eq, check_no_datagram, dig, enter_sandbox, raw_query, run_cases,
                    start_dnsmasq, udp_client, velmora_process)

enter_sandbox(__file__)
add_loopback_addresses(6)

DNSMASQ_ADDR = "127.0.0.5"
dnsmasq = start_dnsmasq(DNSMASQ_ADDR, "--address=/home.test/192.0.2.53")
SECONDARY = f"{DNSMASQ_ADDR}:53"
open(RESOLV, "w").close()


def started(v):
    ok = v.wait_line("Velmora running")
    if not ok:
        print("velmora did not start:", v.log(), file=sys.stderr)
    return ok


def timed_dig(port, name, wait=5):
    t0 = time.monotonic()
    r = dig("127.0.0.1", port, name, "+noedns", f"+time={wait}")
    return r, time.monotonic() - t0


@case
def silent_primary_is_left_out_and_comes_back():
    # The sample set-up's shape: a primary that stops answering, dnsmasq as the secondary.
    primary = fake_upstream("127.0.0.2", 53, "p")
    primary.mode = "silent"
    v = velmora_process("127.0.0.1:5400", primary.text, SECONDARY, timeout_ms=2000,
                extra=("--hold-down", "2"))
    try:
        if not started(v):
            check(False, "started")
            return
        # The request in flight when the primary dies pays its three time-outs ...
        r, took = timed_dig(5400, "first.home.test", wait=15)
        check_eq("192.0.2.53", answer_of(r), "first answer, from the secondary")
        check(took >= 6.0, f"first request waited on the primary: {took:.2f} s")
        check_eq(3, primary.count("first.home.test"), "three attempts at the primary")
        check_eq(1, len(v.lines_with("[WARN] Server 127.0.0.2:53 left out for 2 s")),
                 "left-out line")
        # ... later ones go straight to the secondary, well under one time-out.
        for i in range(5):
            r, took = timed_dig(5400, f"later{i}.home.test")
            check_eq("192.0.2.53", answer_of(r), f"later query {i}")
            check(took < 1.0, f"later query {i} took {took:.2f} s")
            check_eq(0, primary.count(f"later{i}.home.test"), f"later query {i} not sent to the primary")
            check(v.lines_with(f"[domain: later{i}.home.test] Reply from {SECONDARY} (priority 2)"),
                  f"later query {i} answered by priority 2")
        check_eq([], v.lines_with("Timeout waiting for response from 127.0.0.2:53")[1:],
                 "no time-out line for skipped requests")
        check_eq(1, len(v.lines_with("left out")), "no line per skipped request")

        # While out it is checked in the background with a copy of a recent client query,
        # whose answer is never relayed to anyone.
        c = udp_client()
        c.settimeout(5)
        c.sendto(raw_query("probe-source.home.test", 0x5151), ("127.0.0.1", 5400))
        check_eq(0x5151, int.from_bytes(c.recv(4096)[:2], "big"), "answered by the secondary")
        deadline = time.monotonic() + 6
        while primary.count("probe-source.home.test") == 0 and time.monotonic() < deadline:
            time.sleep(0.05)
        check(primary.count("probe-source.home.test") >= 1, "background check sent a recent query")
        check_eq([], v.lines_with("is back"), "silent primary stays out")

        primary.mode = "noerror"
        back_from = time.monotonic()
        check(v.wait_line("[INFO] Server 127.0.0.2:53 is back", timeout=8), "back line")
        took = time.monotonic() - back_from
        check(took <= 2 + 1.5, f"back within about one hold-down: {took:.2f} s")
        check_no_datagram(c, 0.3, "a check's answer reached a client")
        r, took = timed_dig(5400, "again.home.test")
        check_eq("192.0.2.1", answer_of(r), "the primary answers again")
        check(v.lines_with("[domain: again.home.test] Reply from 127.0.0.2:53 (priority 1)"),
              "priority 1 again")
    finally:
        v.stop()


@case
def all_out_walks_the_list_and_sighup_keeps_the_memory():
    p = fake_upstream("127.0.0.2", 5402, "p")
    s = fake_upstream("127.0.0.3", 5403, "s")
    f = fake_upstream("127.0.0.4", 53, "f")
    p.mode = s.mode = "silent"
    v = velmora_process("127.0.0.1:5401", p.text, s.text, timeout_ms=200,
                        extra=("-H", "300"))  # no background check within the test
    try:
        if not started(v):
            check(False, "started")
            return

        def ask(name):
            return dig("127.0.0.1", 5401, name, "+noedns", "+time=5")["status"]

        def asked(name):
            return (p.count(name), s.count(name), f.count(name))

        c = udp_client()

        def ask_dead(name):  # nothing will answer: the log says when the request has ended
            c.sendto(raw_query(name), ("127.0.0.1", 5401))
            return v.wait_line(f"[domain: {name}] No response from any server")

        check(ask_dead("dead1.test"), "nothing answers")
        check_eq((3, 3, 0), asked("dead1.test"), "both servers tried")
        check(v.wait_line("[WARN] Server 127.0.0.3:5403 left out for 300 s"), "secondary out")
        check(v.lines_with("[WARN] Server 127.0.0.2:5402 left out for 300 s"), "primary out")
        # Every server out: the list is walked in order as without the memory.
        check(ask_dead("dead2.test"), "still nothing")
        check_eq((3, 3, 0), asked("dead2.test"), "all out: both tried again")
        s.mode = "noerror"
        check_eq("NOERROR", ask("walk.test"), "the secondary answers during a walk")
        check_eq((3, 1, 0), asked("walk.test"), "walked in order")
        check(v.lines_with("[INFO] Server 127.0.0.3:5403 is back"), "secondary back")
        check_eq("NOERROR", ask("skip.test"), "answered")
        check_eq((0, 1, 0), asked("skip.test"), "the primary, still out, is skipped")

        # A reload keeps what it knows about servers still listed.
        check(v.hup("nameserver 127.0.0.4\n"), "reload logged")
        check_eq("NOERROR", ask("after-hup.test"), "answered after the reload")
        check_eq((0, 1, 0), asked("after-hup.test"), "primary still out after SIGHUP")
        check_eq(1, len(v.lines_with("127.0.0.2:5402 left out")), "no second left-out line")
        check_eq([], v.lines_with("127.0.0.2:5402 is back"), "primary not back")
        # The fallback server is asked only while the listed ones ahead of it fail.
        s.mode = "servfail"
        check_eq("NOERROR", ask("fallback.test"), "the fallback server answers")
        check_eq((0, 3, 1), asked("fallback.test"), "secondary's attempts, then the fallback")
        check(v.lines_with("[domain: fallback.test] Reply from 127.0.0.4:53 (priority 3)"),
              "priority 3")
        check_eq("NOERROR", ask("fallback2.test"), "answered")
        check_eq((0, 0, 1), asked("fallback2.test"), "a refusing secondary is left out too")
    finally:
        v.stop()
        open(RESOLV, "w").close()


@case
def hold_down_zero_remembers_nothing():
    p = fake_upstream("127.0.0.2", 5405, "p")
    p.mode = "silent"
    v = velmora_process("127.0.0.1:5404", p.text, SECONDARY, timeout_ms=200, extra=("--hold-down", "0"))
    try:
        if not started(v):
            check(False, "started")
            return
        for name in ("zero1.home.test", "zero2.home.test"):
            r = dig("127.0.0.1", 5404, name, "+noedns")
            check_eq("192.0.2.53", answer_of(r), f"{name} answered by the secondary")
            check_eq(3, p.count(name), f"{name}: the primary is asked every time")
        check_eq([], v.lines_with("left out"), "no left-out line")
    finally:
        v.stop()


status = run_cases(set(sys.argv[1:]) or None)
dnsmasq.kill()
sys.exit(status)
