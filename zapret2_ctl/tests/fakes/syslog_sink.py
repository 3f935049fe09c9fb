#!/usr/bin/python3
"""A stand-in system log for black-box tests: binds a datagram socket at the
given path (normally /dev/log inside the sandbox), prints "ready" once bound,
and appends every message it receives, one per line, to the output file
until a message that is exactly "__sink_end__" arrives.

usage: syslog_sink.py SOCKET OUTFILE
stop:  syslog_sink.py --stop SOCKET
"""
import os
import socket
import sys


def main():
    if sys.argv[1] == "--stop":
        s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        s.sendto(b"__sink_end__", sys.argv[2])
        return 0
    path, outfile = sys.argv[1], sys.argv[2]
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass
    s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    s.bind(path)
    print("ready", flush=True)
    with open(outfile, "ab") as out:
        while True:
            data = s.recv(65536)
            if data == b"__sink_end__":
                break
            out.write(data.rstrip(b"\0").replace(b"\n", b"\\n") + b"\n")
            out.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
