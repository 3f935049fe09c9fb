"""Helpers of the python parts of velmora/bench/run: DNS messages built by hand, and readiness of a
UDP server from the kernel's socket table."""
import sys
import time


def query(name, qid):
    """An A query for name (recursion desired) with message ID qid, as bytes."""
    q = bytearray([qid >> 8, qid & 0xFF, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0])
    for label in name.split("."):
        q += bytes([len(label)]) + label.encode()
    return bytes(q + b"\x00\x00\x01\x00\x01")


def answer(q, address):
    """A NOERROR answer to q: one A record holding address (4 bytes); None when q is unreadable."""
    off = 12
    while off < len(q) and q[off] != 0:
        off += 1 + q[off]
    end = off + 5
    if len(q) < end:
        return None
    head = q[:2] + bytes([0x80 | (q[2] & 0x79), 0x80]) + b"\x00\x01\x00\x01\x00\x00\x00\x00"
    rr = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04" + address
    return head + q[12:end] + rr


def udp_bound(addr, port=53):
    """True when a UDP socket is bound to the IPv4 addr and port."""
    want = f"{''.join(f'{int(b):02X}' for b in reversed(addr.split('.')))}:{port:04X}"
    with open("/proc/net/udp") as f:
        return any(f" {want} " in line for line in f)


def wait_bound(addr, port=53):
    """Returns once something listens on addr:port; ends the run when nothing does within 10 s."""
    deadline = time.monotonic() + 10
    while not udp_bound(addr, port):
        if time.monotonic() > deadline:
            sys.exit(f"nothing listening on {addr}:{port}")
        time.sleep(0.01)
