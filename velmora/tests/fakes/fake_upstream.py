"""Scriptable fake DNS upstreams for velmora's black-box tests (dnspython).

Each fake_upstream listens on one UDP address (IPv4, or IPv6 with an optional scope)
and answers every query by its current `mode`; it counts the queries it received per
name so a test can tell which servers were asked and how often, and records the source
port and message ID of each (`seen`).
"""
import socket
import threading
from collections import Counter

import dns.flags
import dns.message
import dns.rcode
import dns.rdatatype
import dns.rrset

ANSWER_IP = {"fake": "192.0.2.1", "wrong": "192.0.2.66"}

MODES = ("noerror", "nxdomain", "servfail", "refused", "notimp", "silent", "header",
         "tc", "big", "k1", "wrongid", "wrongid_then_right", "twice", "slow", "forged")
# Seconds before each reply of a mode goes out (none: at once).
DELAYS = {"twice": (0, 0.08), "slow": (0.15,)}


class fake_upstream:
    def __init__(self, addr, port, tag, scope=0):
        self.addr, self.port, self.tag = addr, port, tag
        self.mode = "noerror"
        self.asked = Counter()
        self.seen = []  # (name, source port, message ID) of every query, in arrival order
        self.forge_id = 0  # "forged": the ID the client used, which a forger would send
        self.lock = threading.Lock()
        self.reading = threading.Event()  # cleared: nothing is read, the kernel drops the excess
        self.reading.set()
        family = socket.AF_INET6 if ":" in addr else socket.AF_INET
        where = (addr, port, 0, scope) if family == socket.AF_INET6 else (addr, port)
        self.sock = socket.socket(family, socket.SOCK_DGRAM)
        self.sock.bind(where)
        # A forger on the server's address but another port.
        self.other_port = socket.socket(family, socket.SOCK_DGRAM)
        self.other_port.bind(where[:1] + (0,) + where[2:])
        threading.Thread(target=self._serve, daemon=True).start()

    @property
    def text(self):
        return f"[{self.addr}]:{self.port}" if ":" in self.addr else f"{self.addr}:{self.port}"

    def count(self, name):
        with self.lock:
            return self.asked[name.rstrip(".")]

    def _serve(self):
        while True:
            self.reading.wait()
            data, peer = self.sock.recvfrom(4096)
            try:
                q = dns.message.from_wire(data)
            except Exception:
                continue
            name = q.question[0].name.to_text().rstrip(".")
            with self.lock:
                self.asked[name] += 1
                self.seen.append((name, peer[1], q.id))
            mode = self.mode
            if mode == "forged":
                self._forge(q, peer)
                continue
            for i, wire in enumerate(self.replies(q, mode)):
                delay = DELAYS.get(mode, ())[i] if i < len(DELAYS.get(mode, ())) else 0
                if delay:
                    threading.Timer(delay, self.sock.sendto, (wire, peer)).start()
                else:
                    self.sock.sendto(wire, peer)

    def _forge(self, q, peer):
        # What an attacker off the path would try: the client's own ID from the server's
        # address and port, and the right ID from another port; the real answer comes later.
        def wrong(qid):
            r = dns.message.make_response(q)
            r.id = qid
            r.answer.append(dns.rrset.from_text(q.question[0].name, 60, "IN", "A",
                                                ANSWER_IP["wrong"]))
            return r.to_wire()
        self.sock.sendto(wrong(self.forge_id), peer)
        self.other_port.sendto(wrong(q.id), peer)
        real = self.replies(q, "noerror")[0]
        threading.Timer(0.05, self.sock.sendto, (real, peer)).start()

    def _soa(self, r):
        # Marks whose negative answer reached the client.
        r.authority.append(dns.rrset.from_text(
            "test.", 60, "IN", "SOA", f"{self.tag}.fake. admin.fake. 1 60 60 60 60"))

    def replies(self, q, mode):
        r = dns.message.make_response(q)
        r.flags |= dns.flags.RA
        qname = q.question[0].name
        if mode == "silent":
            return []
        if mode in ("nxdomain", "servfail", "refused", "notimp"):
            r.set_rcode({"nxdomain": dns.rcode.NXDOMAIN, "servfail": dns.rcode.SERVFAIL,
                         "refused": dns.rcode.REFUSED, "notimp": dns.rcode.NOTIMP}[mode])
            self._soa(r)
            return [r.to_wire()]
        if mode == "header":
            return [r.to_wire()[:12]]
        if mode == "tc":
            r.flags |= dns.flags.TC
            r.answer.append(dns.rrset.from_text(qname, 60, "IN", "TXT", '"' + "t" * 250 + '"'))
            return [r.to_wire()]
        if mode == "big":
            # 10 TXT answers of 63 bytes each plus additional records: about 700 bytes.
            rrs = dns.rrset.from_text_list(qname, 60, "IN", "TXT",
                                           [f'"{i}' + "x" * 49 + '"' for i in range(10)])
            r.answer.append(rrs)
            r.additional.append(dns.rrset.from_text("extra.test.", 60, "IN", "A",
                                                    "192.0.2.7", "192.0.2.8", "192.0.2.9"))
            return [r.to_wire(max_size=65535)]  # whatever size the client announced
        if mode == "k1":
            # 15 TXT answers of 64 bytes each, no other records: about 1000 bytes.
            r.answer.append(dns.rrset.from_text_list(qname, 60, "IN", "TXT",
                                                     [f'"{i:02}' + "k" * 49 + '"' for i in range(15)]))
            return [r.to_wire(max_size=65535)]
        a = dns.rrset.from_text(qname, 60, "IN", "A", ANSWER_IP["fake"])
        if mode == "wrongid":
            r.answer.append(a)
            r.id = (q.id + 1) & 0xFFFF
            return [r.to_wire()]
        if mode == "wrongid_then_right":
            bad = dns.message.make_response(q)
            bad.id = (q.id + 1) & 0xFFFF
            bad.answer.append(dns.rrset.from_text(qname, 60, "IN", "A", ANSWER_IP["wrong"]))
            r.answer.append(a)
            return [bad.to_wire(), r.to_wire()]
        r.answer.append(a)
        if mode == "twice":  # the same answer again, late (a duplicate on the way)
            return [r.to_wire(), r.to_wire()]
        return [r.to_wire()]
