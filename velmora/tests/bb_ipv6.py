#!/usr/bin/python3
"""Black-box tests of velmora with IPv6: dnsmasq on ::1 as an upstream named on the command line
and by a fallback resolver line, a link-local resolver with a zone index on a veth pair named
wan, and a listening address on ::1 with dig as the client. Runs in the router sandbox's private
network namespace."""
import os
import socket
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fakes.fake_upstream import fake_upstream  # noqa: E402
from bb_lib import (RESOLV, add_loopback_addresses, answer_of, case, check,  # noqa: E402
                    check_eq, dig, enter_sandbox, run_cases, start_dnsmasq, velmora_process)

enter_sandbox(__file__)
add_loopback_addresses(3)
# The namespace's loopback has ::1 already; a veth pair stands in for the uplink "wan", with a
# link-local resolver on its far end.
subprocess.run(["ip", "link", "add", "wan", "type", "veth", "peer", "name", "wan-peer"], check=True)
for dev in ("wan", "wan-peer"):
    subprocess.run(["ip", "link", "set", dev, "up"], check=True)
subprocess.run(["ip", "addr", "add", "fe80::1/64", "dev", "wan", "nodad"], check=True)
subprocess.run(["ip", "addr", "add", "fe80::53/64", "dev", "wan-peer", "nodad"], check=True)

dnsmasq53 = start_dnsmasq("::1", "--address=/six.test/2001:db8::6", "--address=/six.test/192.0.2.6")
dnsmasq5353 = start_dnsmasq("::1", "--address=/six.test/192.0.2.66", port=5353)
LINK_LOCAL = fake_upstream("fe80::53", 53, "ll", scope=socket.if_nametoindex("wan-peer"))
S1 = fake_upstream("127.0.0.2", 5601, "s1")
S2 = fake_upstream("127.0.0.3", 5602, "s2")


def run_velmora(listen, s1, s2, fallback=""):
    with open(RESOLV, "w") as f:
        f.write(fallback)
    v = velmora_process(listen, s1, s2, timeout_ms=200)
    check(v.wait_line("Velmora running"), f"started: {v.log()}")
    return v


@case
def ipv6_servers_on_the_command_line():
    v = run_velmora("127.0.0.1:5600", "[::1]:5353", S2.text)
    try:
        r = dig("127.0.0.1", 5600, "www.six.test", "+noedns")
        check_eq("192.0.2.66", answer_of(r), "dnsmasq on [::1]:5353 answers")
        check(v.wait_line("[domain: www.six.test] Reply from [::1]:5353 (priority 1)"),
              "reply line names the IPv6 server")
        check_eq(0, S2.count("www.six.test"), "the secondary is not asked")
    finally:
        v.stop()
    S1.mode = "nxdomain"
    v = run_velmora("127.0.0.1:5600", S1.text, "[::1]")  # no port: 53
    try:
        r = dig("127.0.0.1", 5600, "two.six.test", "+noedns", qtype="AAAA")
        check_eq("2001:db8::6", answer_of(r), "the secondary on [::1]:53 answers")
        check(v.wait_line("[domain: two.six.test] Reply from [::1] (priority 2)"),
              "reply line shows the text as given")
    finally:
        v.stop()
        S1.mode = "noerror"


@case
def ipv6_fallback_lines():
    # IPv4 servers that fail, then the uplink's resolvers: an IPv6 one and a link-local one
    # whose zone names the uplink; a link-local line without its zone cannot be reached.
    S1.mode = S2.mode = "servfail"
    fallback = ("# Interface wan6\nnameserver ::1\nnameserver fe80::53\n"
                "nameserver fe80::53%wan\n")
    v = run_velmora("127.0.0.1:5600", S1.text, S2.text, fallback)
    try:
        r = dig("127.0.0.1", 5600, "fb.six.test", "+noedns")
        check_eq("192.0.2.6", answer_of(r), "dnsmasq on ::1 answers as priority 3")
        check(v.wait_line("[domain: fb.six.test] Reply from [::1]:53 (priority 3)"),
              "the fallback entry in brackets")
        # A name dnsmasq has no answer for: the link-local entries after it are tried.
        r = dig("127.0.0.1", 5600, "ll.test", "+noedns")
        check_eq("192.0.2.1", answer_of(r), "the link-local resolver answers")
        check(v.wait_line("[domain: ll.test] Reply from [fe80::53%wan]:53 (priority 5)"),
              "reached through the zone")
        check(v.lines_with("[domain: ll.test] connect to [fe80::53]:53 failed: Invalid argument"),
              "a link-local address without its zone cannot be reached")
        check_eq(1, LINK_LOCAL.count("ll.test"), "one attempt at the link-local resolver")
        check_eq([], v.lines_with("53:53"), "no entry of the old broken form")
    finally:
        v.stop()
        S1.mode = S2.mode = "noerror"


@case
def link_local_server_with_zone_on_the_command_line():
    v = run_velmora("127.0.0.1:5600", "[fe80::53%wan]:53", S2.text)
    try:
        r = dig("127.0.0.1", 5600, "zone.test", "+noedns")
        check_eq("192.0.2.1", answer_of(r), "answered")
        check(v.wait_line("[domain: zone.test] Reply from [fe80::53%wan]:53 (priority 1)"),
              "by the link-local primary")
    finally:
        v.stop()


@case
def listening_on_ipv6():
    v = run_velmora("[::1]:5600", S1.text, S2.text)
    try:
        check(v.lines_with("[INFO] Listening UDP on [::1]:5600"), "listening line")
        r = dig("::1", 5600, "client6.test", "+noedns")
        check_eq("192.0.2.1", answer_of(r), "an IPv6 client is answered")
        r = dig("127.0.0.1", 5600, "client4.test", "+noedns", "+time=1")
        check_eq(None, r["status"], "IPv6 only: nothing listens on 127.0.0.1:5600")
    finally:
        v.stop()


status = run_cases(set(sys.argv[1:]) or None)
for p in (dnsmasq53, dnsmasq5353):
    p.kill()
sys.exit(status)
