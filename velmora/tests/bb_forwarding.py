#!/usr/bin/python3
"""Black-box tests of velmora against real DNS software: dig as the client, dnsmasq serving a
small zone as one upstream, scriptable dnspython fakes as the others. Everything runs in the
router sandbox's private network namespace on loopback addresses 127.0.0.2 and up."""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, HERE)
from fakes.fake_upstream import fake_upstream  # noqa: E402
from bb_lib import (DAEMON_THREADS, RESOLV, VELMORA, add_loopback_addresses,  # noqa: E402
                    answer_of, case, check, check_eq, check_no_datagram, dig, enter_sandbox,
                    raw_query, run_cases, start_dnsmasq, udp_client, velmora_process)

enter_sandbox(__file__)

LISTEN_PORT = 5300
add_loopback_addresses(10)

S1 = fake_upstream("127.0.0.2", 5301, "s1")
S2 = fake_upstream("127.0.0.3", 5302, "s2")
F1 = fake_upstream("127.0.0.4", 53, "f1")
F2 = fake_upstream("127.0.0.5", 53, "f2")
FAKES = (S1, S2, F1, F2)
FALLBACK_BOTH = "# Interface wan\nnameserver 127.0.0.4\nsearch lan\nnameserver 127.0.0.5\n"

DNSMASQ_ADDR = "127.0.0.10"
dnsmasq = start_dnsmasq(DNSMASQ_ADDR, "--host-record=www.zone.test,192.0.2.80",
                        "--local=/zone.test/", "--address=/many.test/192.0.2.9")

open(RESOLV, "w").close()
V = velmora_process(f"127.0.0.1:{LISTEN_PORT}", S1.text, S2.text, timeout_ms=200)
if not V.wait_line("Velmora running"):
    print("velmora did not start:", V.log(), V.proc.stderr.read(), file=sys.stderr)
    sys.exit(1)


def modes(s1, s2, f1="noerror", f2="noerror"):
    for fake, m in zip(FAKES, (s1, s2, f1, f2)):
        fake.mode = m


def ask(name, *opts, qtype="A"):
    return dig("127.0.0.1", LISTEN_PORT, name, "+noedns", *opts, qtype=qtype)


def asked(name):
    return tuple(f.count(name) for f in FAKES)


@case
def startup_banner_in_order():
    want = ["[INFO] Velmora by Tarvona", "[INFO] Version 1.1.3",
            "[INFO] Reloaded fallback servers", f"[INFO] Listening UDP on 127.0.0.1:{LISTEN_PORT}",
            "[INFO] Velmora running"]
    check_eq(want, V.log()[:5], "first log lines")


@case
def failover_orders():
    # (s1, s2, expected status, answering priority or None, expected queries per server)
    rows = [
        ("noerror", "noerror", "NOERROR", 1, (1, 0, 0, 0)),
        ("nxdomain", "noerror", "NOERROR", 2, (1, 1, 0, 0)),
        ("refused", "noerror", "NOERROR", 2, (3, 1, 0, 0)),
        ("servfail", "noerror", "NOERROR", 2, (3, 1, 0, 0)),
        ("silent", "noerror", "NOERROR", 2, (3, 1, 0, 0)),
        ("header", "noerror", "NOERROR", 2, (3, 1, 0, 0)),
        # a reply with another message ID is ignored: the attempt times out
        ("wrongid", "noerror", "NOERROR", 2, (3, 1, 0, 0)),
        # ... and the right one arriving later within the same attempt is taken
        ("wrongid_then_right", "nxdomain", "NOERROR", 1, (1, 0, 0, 0)),
        ("nxdomain", "nxdomain", "NXDOMAIN", None, (1, 1, 0, 0)),
        ("notimp", "refused", "NOTIMP", None, (1, 3, 0, 0)),
    ]
    for i, (m1, m2, status, prio, counts) in enumerate(rows):
        name = f"order{i}-{m1}-{m2}.test"
        modes(m1, m2)
        r = ask(name)
        what = f"{m1}/{m2}"
        check_eq(status, r["status"], f"{what} status")
        check_eq(counts, asked(name), f"{what} queries per server")
        if prio:
            server = (S1, S2)[prio - 1].text
            check_eq("192.0.2.1", answer_of(r), f"{what} answer")
            check(V.lines_with(f"[domain: {name}] Reply from {server} (priority {prio})"),
                  f"{what}: reply line for priority {prio}")
        else:
            check(V.lines_with(f"[domain: {name}] Final response: NXDOMAIN"),
                  f"{what}: final-response line")
        timeouts = V.lines_with(f"[domain: {name}] Timeout waiting for response from {S1.text}")
        check_eq(1 if m1 in ("silent", "wrongid") else 0, len(timeouts), f"{what} time-out lines")


@case
def late_duplicate_never_answers_a_later_query():
    # The primary answers dup-a twice, the copy 80 ms late. The next query carries the same ID
    # and goes out on the socket dup-a used (pooled), while the primary takes 150 ms over it:
    # the late copy matches the ID but not the question, so it must not be relayed for dup-b.
    modes("twice", "noerror")
    c = udp_client()
    c.settimeout(3)
    c.sendto(raw_query("dup-a.test", 0x4242), ("127.0.0.1", LISTEN_PORT))
    first = c.recv(4096)
    S1.mode = "slow"
    c.sendto(raw_query("dup-b.test", 0x4242), ("127.0.0.1", LISTEN_PORT))
    second = c.recv(4096)
    check(b"\x05dup-a\x04test" in first, f"first reply answers dup-a: {first!r}")
    check(b"\x05dup-b\x04test" in second, f"second reply answers dup-b: {second!r}")
    check_no_datagram(c, 0.4, "a third datagram reached the client")


@case
def held_negative_answer_is_the_last_one():
    # Both answer with a name error: the client gets the secondary's answer, unchanged.
    modes("nxdomain", "nxdomain")
    r = ask("held.test")
    check_eq("NXDOMAIN", r["status"], "status")
    check(any("s2.fake." in f for rr in r["authority"] for f in rr), f"s2's SOA: {r['raw']}")
    # Held answers keep their full length: an EDNS client gets the OPT record back too.
    r = dig("127.0.0.1", LISTEN_PORT, "held-edns.test", "+bufsize=4096")
    check("OPT PSEUDOSECTION" in r["raw"], "held answer relayed whole (OPT kept)")


@case
def all_servers_fail_gives_no_reply():
    check(V.hup(FALLBACK_BOTH), "reload logged")
    modes("servfail", "servfail", "servfail", "silent")
    c = udp_client()
    c.sendto(raw_query("dead.test"), ("127.0.0.1", LISTEN_PORT))
    check(V.wait_line("[domain: dead.test] No response from any server"), "no-response line")
    check_eq((3, 3, 3, 3), asked("dead.test"), "three attempts per server")
    check_eq(1, len(V.lines_with("[domain: dead.test] Timeout waiting for response from 127.0.0.5:53")),
             "time-out line of the silent fallback")
    c.setblocking(False)
    try:
        data = c.recv(4096)
        check(False, f"client got a reply: {data!r}")
    except BlockingIOError:
        check(True, "client got nothing")
    check(V.hup(""), "reload logged")


@case
def fallback_file_and_sighup():
    modes("servfail", "nxdomain", "nxdomain", "noerror")
    r = ask("fb-before.test")
    check_eq("NXDOMAIN", r["status"], "without fallback servers")
    check_eq((3, 1, 0, 0), asked("fb-before.test"), "fallback servers not asked")

    check(V.hup(FALLBACK_BOTH), "reload logged")
    r = ask("fb-after.test")
    check_eq("NOERROR", r["status"], "after SIGHUP")
    check_eq((3, 1, 1, 1), asked("fb-after.test"), "each server in priority order")
    check(V.lines_with("[domain: fb-after.test] Reply from 127.0.0.5:53 (priority 4)"),
          "reply line names priority 4")

    # Reloads keep coming: an emptied file takes the fallback servers away again.
    check(V.hup(""), "second reload logged")
    r = ask("fb-gone.test")
    check_eq("NXDOMAIN", r["status"], "fallback servers gone")
    check_eq((3, 1, 0, 0), asked("fb-gone.test"), "only primary and secondary")


@case
def sighup_storm_does_not_stall():
    # Reloads while queries are in flight: every query still answered, no deadlock.
    modes("noerror", "noerror")
    for i in range(20):
        V.proc.send_signal(1)
        check_eq("NOERROR", ask(f"storm{i}.test")["status"], f"query {i}")
    check(V.hup(""), "still reloading after the storm")


@case
def dnsmasq_as_upstream():
    modes("noerror", "noerror")
    v = velmora_process("127.0.0.1:5303", f"{DNSMASQ_ADDR}:53", S2.text)
    try:
        check(v.wait_line("Velmora running"), "started")
        r = dig("127.0.0.1", 5303, "www.zone.test", "+noedns")
        check_eq("NOERROR", r["status"], "status")
        check_eq("192.0.2.80", answer_of(r), "dnsmasq's answer")
        check(v.lines_with(f"Reply from {DNSMASQ_ADDR}:53 (priority 1)"), "priority 1")
        # dnsmasq says NXDOMAIN for an unknown name of its zone: held, the secondary answers.
        r = dig("127.0.0.1", 5303, "missing.zone.test", "+noedns")
        check_eq("192.0.2.1", answer_of(r), "secondary's answer")
        check(v.lines_with(f"[domain: missing.zone.test] Reply from {S2.text} (priority 2)"),
              "priority 2")
        S2.mode = "nxdomain"
        r = dig("127.0.0.1", 5303, "gone.zone.test", "+noedns")
        check_eq("NXDOMAIN", r["status"], "both negative")
        check(v.lines_with("[domain: gone.zone.test] Final response: NXDOMAIN"), "final line")
    finally:
        v.stop()


@case
def truncation_flag_and_trimming():
    modes("tc", "noerror")
    r = ask("tc.test", "+ignore")
    check("tc" not in r["flags"], f"TC cleared: {r['flags']}")
    check(r["answer"] and len(r["answer"][0][-1]) > 200, "answer kept whole")
    check(r["size"] and 250 < r["size"] <= 512, f"short reply not trimmed: {r['size']}")

    # Without EDNS, or with a size of 512 or less, a good answer is cut at whole records within
    # 512 bytes; a client that announces more gets up to that much (at most 4096), whole when it
    # fits. Question "kNN.test" ends at 12 + 10 + 4 = 26; each TXT answer takes 2 + 10 + 52 bytes.
    # (mode, dig options, answers kept, largest size, additional records)
    rows = [
        ("k1", ("+noedns",), 7, 512, 0),
        ("k1", ("+bufsize=400",), 7, 512, 0),
        ("k1", ("+bufsize=1232",), 15, 1232, 1),  # about 1000 bytes: whole, OPT record too
        ("k1", ("+bufsize=600",), 8, 600, 0),
        ("big", ("+noedns",), 7, 512, 0),
        ("big", ("+bufsize=4096",), 10, 4096, 4),  # 723 bytes with its additional records
    ]
    for i, (mode, opts, answers, largest, additional) in enumerate(rows):
        modes(mode, "noerror")
        r = dig("127.0.0.1", LISTEN_PORT, f"k{i:02}.test", "+ignore", *opts, qtype="TXT")
        what = f"{mode} {opts}"
        check(r["size"] is not None and r["size"] <= largest, f"{what}: size {r['size']}")
        check_eq(answers, r.get("counts", (None,))[0], f"{what}: answers")
        check_eq((0, additional), r.get("counts", (0, 1, 1))[1:], f"{what}: authority, additional")
        check("tc" not in r["flags"], f"{what}: TC clear")
        check_eq("NOERROR", r["status"], f"{what}: status")
    modes("k1", "noerror")
    r = dig("127.0.0.1", LISTEN_PORT, "whole.test", "+bufsize=1232", qtype="TXT")
    check(r["size"] is not None and 990 <= r["size"] <= 1010, f"1000-byte answer: {r['size']}")


@case
def quiet_names_log_nothing_about_replies():
    rows = [  # name, qtype, s1, s2, status, queries per server
        ("printer.lan", "A", "silent", "noerror", "NOERROR", (3, 1, 0, 0)),
        ("1.2.0.192.in-addr.arpa", "PTR", "noerror", "noerror", "NOERROR", (1, 0, 0, 0)),
        ("nas.local", "A", "nxdomain", "nxdomain", "NXDOMAIN", (1, 1, 0, 0)),
        ("x.lanparty.test", "A", "servfail", "noerror", "NOERROR", (3, 1, 0, 0)),
    ]
    for name, qtype, m1, m2, status, counts in rows:
        modes(m1, m2)
        r = ask(name, qtype=qtype)
        check_eq(status, r["status"], f"{name} answered")
        check_eq([], [l for l in V.log() if f"[domain: {name}]" in l], f"{name} log lines")
        check_eq(counts, asked(name), f"{name} forwarded like any other")


@case
def request_numbers_count_up():
    modes("noerror", "noerror")
    ask("num-a.test")
    ask("num-b.test")
    a = V.lines_with("[domain: num-a.test]")[0]
    b = V.lines_with("[domain: num-b.test]")[0]
    na = int(a.split("[req #")[1].split("]")[0])
    nb = int(b.split("[req #")[1].split("]")[0])
    check_eq(na + 1, nb, "consecutive request numbers")


@case
def logging_off_is_silent():
    modes("noerror", "noerror")
    v = velmora_process("127.0.0.1:5304", S1.text, S2.text, debug=0)
    try:
        ok = False
        for _ in range(50):  # readiness: the first answered query
            r = dig("127.0.0.1", 5304, "quiet-daemon.test", "+noedns", "+time=1")
            if r["status"] == "NOERROR":
                ok = True
                break
        check(ok, "answers with logging off")
        modes("nxdomain", "nxdomain")
        r = dig("127.0.0.1", 5304, "quiet-daemon-nx.test", "+noedns")
        check_eq("NXDOMAIN", r["status"], "held answer with logging off")
    finally:
        v.stop()
    check_eq([], v.log(), "stdout with --debug 0")


@case
def in_flight_requests_are_bounded():
    # Silent upstreams keep every request busy for a while; far more queries than the bound.
    # The fakes stop reading altogether so that they cost nothing while flooded. Each request
    # waiting on an upstream holds one socket of its own, so the daemon's open descriptors show
    # how many are in flight: never more than the bound plus the idle pool and a few fixed ones.
    modes("noerror", "noerror")
    S1.reading.clear()
    S2.reading.clear()
    v = velmora_process("127.0.0.1:5305", S1.text, S2.text, timeout_ms=250, debug=int(os.environ.get("FLOOD_DEBUG", "0")))
    bound, idle_pool, fixed = 1024, 128, 16
    c = udp_client()
    c.setsockopt(1, 7, 1 << 20)  # SO_SNDBUF

    def status(key):
        with open(f"/proc/{v.proc.pid}/status") as f:
            for line in f:
                if line.startswith(key):
                    return int(line.split()[1])
        return 0

    def fds():
        try:
            return len(os.listdir(f"/proc/{v.proc.pid}/fd"))
        except OSError:
            return 0

    def listening():  # readiness without log lines: the socket shows up in the kernel's table
        with open("/proc/net/udp") as f:
            return any(" 0100007F:14B9 " in line for line in f)

    try:
        deadline = time.monotonic() + 10
        while not listening() and time.monotonic() < deadline and v.proc.poll() is None:
            time.sleep(0.01)
        peak_fds = peak_threads = sent = at_bound = 0

        def burst():
            nonlocal sent, peak_fds, peak_threads
            for _ in range(20):
                c.sendto(raw_query(f"flood{sent}.test", sent & 0xFFFF), ("127.0.0.1", 5305))
                sent += 1
            peak_fds = max(peak_fds, fds())
            peak_threads = max(peak_threads, status("Threads:"))
            time.sleep(0.001)  # paces the flood to roughly what the receiver can take in

        # Fill the bound, then keep flooding at it for a while.
        while peak_fds < bound * 3 // 4 and time.monotonic() < deadline:
            burst()
        while at_bound < 200:
            burst()
            at_bound += 1
        rss = status("VmHWM:")
        print(f"flood: {sent} queries sent, peak {peak_fds} descriptors, {peak_threads} threads, "
              f"peak RSS {rss} KiB", flush=True)
        check(peak_fds <= bound + idle_pool + fixed, f"requests stay within the bound: {peak_fds} fds")
        check(peak_fds >= bound * 3 // 4, f"the flood did fill the bound: {peak_fds} fds")
        check_eq(DAEMON_THREADS, peak_threads, "one thread")
        check(v.proc.poll() is None, "still running")
        S1.reading.set()
        S2.reading.set()
        # The flood may still fill the socket queue (the kernel drops the excess): retry like
        # any client would.
        r = dig("127.0.0.1", 5305, "after-flood.test", "+noedns", "+time=2", "+tries=10")
        check_eq("NOERROR", r["status"], "answers after the flood")
        if os.environ.get("FLOOD_DEBUG"):
            print("\n".join(v.log()[-40:]))
    finally:
        S1.reading.set()
        S2.reading.set()
        v.stop()


@case
def many_queries_through_dnsmasq():
    # 4000 queries, 50 outstanding at a time, through dnsmasq: all answered, by one thread with
    # about 50 upstream sockets, however many queries pass.
    v = velmora_process("127.0.0.1:5306", f"{DNSMASQ_ADDR}:53", S2.text)
    try:
        check(v.wait_line("Velmora running"), "started")
        names = os.path.join(os.environ.get("TMPDIR", "/tmp"), "velmora-many.txt")
        with open(names, "w") as f:
            f.writelines(f"q{i}.many.test A\n" for i in range(4000))
        out = subprocess.run(["dnsperf", "-s", "127.0.0.1", "-p", "5306", "-d", names, "-n", "1",
                              "-q", "50", "-t", "5"], capture_output=True, text=True).stdout
        check("Queries completed:    4000" in out, f"all answered: {out[-600:]}")
        with open(f"/proc/{v.proc.pid}/status") as f:
            threads = next(int(l.split()[1]) for l in f if l.startswith("Threads:"))
        fds = len(os.listdir(f"/proc/{v.proc.pid}/fd"))
        print(f"after the run: {threads} threads, {fds} descriptors", flush=True)
        check_eq(DAEMON_THREADS, threads, "threads after the run")
        check(fds <= 50 + 16, f"descriptors after the run: {fds}")
    finally:
        v.stop()


def run_cli(*args):
    p = subprocess.run([VELMORA, *args], capture_output=True, text=True, timeout=10)
    return p.returncode, p.stdout, p.stderr


@case
def command_line_errors():
    usage = (f"Usage: {VELMORA} --listen <ip:port> --s1 <ip:port> --s2 <ip:port> "
             "--session-timeout <ms> --debug <0|1> [--hold-down <s>]\n")
    base = ["--listen", "127.0.0.1:5399", "--s1", S1.text, "--s2", S2.text]
    rows = [
        ("no options", [], 1),
        ("time-out 0", base + ["-s", "0"], 1),
        ("time-out negative", base + ["-s", "-1"], 1),
        ("time-out not a number", base + ["-s", "x"], 1),
        ("no time-out", base, 1),
        ("missing --s2", base[:4] + ["-s", "100"], 1),
        ("unknown option", base + ["-s", "100", "--frobnicate"], 1),
        ("missing value", base + ["-s"], 1),
        ("unknown before version", ["--frobnicate", "--version"], 1),
    ]
    for what, args, rc in rows:
        got_rc, out, err = run_cli(*args)
        check_eq(rc, got_rc, f"{what}: status")
        check_eq("", out, f"{what}: stdout")
        check(err.endswith(usage), f"{what}: usage last on stderr: {err!r}")
    check_eq((0, "Velmora version 1.1.3\n", ""), run_cli("--version", "--frobnicate"), "version")
    check_eq((0, "Velmora version 1.1.3\n", ""), run_cli("-v"), "short version")


@case
def startup_failures():
    common = ["--s1", S1.text, "--s2", S2.text, "-s", "100"]
    rows = [
        ("address not on this host", "192.0.2.1:5399", "[ERROR] UDP bind failed: Cannot assign requested address"),
        ("port taken", f"127.0.0.1:{LISTEN_PORT}", "[ERROR] UDP bind failed: Address already in use"),
        ("IPv6 address not on this host", "[2001:db8::1]:5399", "[ERROR] UDP bind failed: Cannot assign requested address"),
        ("unknown zone", "[fe80::1%nosuch0]:5399", "[ERROR] UDP bind failed: No such device"),
    ]
    for what, listen, line in rows:
        rc, out, _ = run_cli("--listen", listen, *common, "-d", "1")
        check_eq(1, rc, f"{what}: status")
        check_eq(line, out.splitlines()[-1] if out else "", f"{what}: last line")
        rc, out, err = run_cli("--listen", listen, *common, "-d", "0")
        check_eq((1, "", ""), (rc, out, err), f"{what}: silent with --debug 0")


@case
def bad_addresses_refused_at_start():
    # A text that is no address, or whose port is not 1..65535, stops the daemon before it does
    # anything: one line on stderr naming the option, whatever the debug level.
    good = {"--listen": "127.0.0.1:5399", "--s1": S1.text, "--s2": S2.text}
    rows = [  # option, text, reason
        ("--s1", "1.2.3.4:70000", "the port is not a number from 1 to 65535"),
        ("--s2", "1.2.3.4:65536", "the port is not a number from 1 to 65535"),
        ("--listen", "127.0.0.1:53abc", "the port is not a number from 1 to 65535"),
        ("--listen", "127.0.0.1:0", "the port is not a number from 1 to 65535"),
        ("--listen", "127.0.0.1", "no port"),
        ("--listen", "[::1]", "no port"),
        ("--listen", "router.lan:53", "not a dotted IPv4 address"),
        ("--s1", "router.lan", "not a dotted IPv4 address"),
        ("--s2", "2001:db8::1", "not a dotted IPv4 address or an IPv6 address in brackets"),
        ("--s1", "[::1]:99999", "the port is not a number from 1 to 65535"),
        ("--s1", "[fe80::1%]:53", "the zone index is not an interface name or number"),
    ]
    for option, text, reason in rows:
        args = dict(good, **{option: text})
        for debug in ("0", "1"):
            rc, out, err = run_cli(*[x for kv in args.items() for x in kv], "-s", "100", "-d", debug)
            what = f"{option} {text} (debug {debug})"
            check_eq(1, rc, f"{what}: status")
            check_eq("", out, f"{what}: stdout")
            check(err.startswith(f"{VELMORA}: {option} '{text}': {reason}") and err.count("\n") == 1,
                  f"{what}: stderr {err!r}")


@case
def query_names_are_escaped_in_log_lines():
    # A name holding a line feed and a terminal escape must not start a forged log line or reach
    # the terminal that shows the log.
    modes("noerror", "noerror")
    c = udp_client()
    c.settimeout(3)
    q = bytearray(raw_query("x.test", 0x2121))
    evil = b"a\n[INFO] forged\x1b[2J"
    q[12:12] = bytes([len(evil)]) + evil  # a first label ahead of "x.test"
    c.sendto(bytes(q), ("127.0.0.1", LISTEN_PORT))
    c.recv(4096)
    want = "[domain: a\\010[INFO] forged\\027[2J.x.test] Reply from"
    check(V.wait_line(want), f"escaped name in the reply line: {V.log()[-3:]}")
    check_eq([], [l for l in V.log() if l.startswith("[INFO] forged")], "no forged log line")
    check_eq([], [l for l in V.log() if "\x1b" in l], "no escape character in the log")


@case
def huge_fallback_file_is_bounded():
    # 30000 nameserver lines: the first 64 are taken, one warning for the rest, the reload is
    # quick and cheap, and queries are answered across a few of them.
    modes("noerror", "noerror")
    lines = "".join(f"nameserver 10.{i >> 16 & 255}.{i >> 8 & 255}.{i & 255}\n" for i in range(1, 30001))
    warn = "[WARN] More than 64 fallback servers listed: only the first 64 are used"
    for n in range(3):
        t0 = time.monotonic()
        check(V.hup(lines), f"reload {n} logged")
        took = time.monotonic() - t0
        check(took < 2, f"reload {n} took {took:.2f} s")
        check_eq(n + 1, len(V.lines_with(warn)), f"one warning per reload ({n})")
        check_eq("NOERROR", ask(f"huge{n}.test")["status"], f"answered after reload {n}")
    with open(f"/proc/{V.proc.pid}/status") as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmHWM:"))
    check(rss < 16 * 1024, f"peak RSS {rss} KiB")
    check(V.hup(""), "reload logged")


status = run_cases(set(sys.argv[1:]) or None)
V.stop()
dnsmasq.kill()
sys.exit(status)
