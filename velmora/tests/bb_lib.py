"""Small helpers for velmora's python black-box tests: cases, assertions, the daemon under test
and a dig client. Runs inside the router sandbox's private network namespace."""
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback

VELMORA = os.environ.get("BIN_VELMORA", "")
RESOLV = "/tmp/resolv.conf.d/resolv.conf.auto"


def elf_machine(path):
    with open(path, "rb") as f:
        head = f.read(20)
    return head[18:20] if head[:4] == b"\x7fELF" else b""


# Threads of the daemon under test: its own one, plus the helper thread of qemu's user-mode
# emulator when the binary is built for another architecture (the cross build's tests).
EMULATED = bool(VELMORA) and elf_machine(VELMORA) != elf_machine(sys.executable)
DAEMON_THREADS = 2 if EMULATED else 1



def enter_sandbox(script):
    """Outside the sandbox: runs script again inside router-sandbox --net on a fixture with an
    empty fallback resolver file, and exits with its status. Inside: returns at once."""
    if os.environ.get("VELMORA_IN_SANDBOX") == "1":
        return
    build = os.environ.get("ROUTER_BUILD", "/tmp")
    fixture = tempfile.mkdtemp(prefix=".velmora-fx.", dir=build)
    os.makedirs(os.path.join(fixture, "tmp/resolv.conf.d"))
    open(os.path.join(fixture, "tmp/resolv.conf.d/resolv.conf.auto"), "w").close()
    env = dict(os.environ, SANDBOX_SCRATCH_BASE=fixture)
    rc = subprocess.call([os.environ["ROUTER_SANDBOX"], "--root", fixture, "--net",
                          "--env", "VELMORA_IN_SANDBOX=1", "--",
                          "/usr/bin/python3", os.path.abspath(script), *sys.argv[1:]], env=env)
    shutil.rmtree(fixture, ignore_errors=True)
    sys.exit(rc)


def add_loopback_addresses(last):
    for n in range(2, last + 1):
        subprocess.run(["ip", "addr", "add", f"127.0.0.{n}/8", "dev", "lo"], check=True)


def start_dnsmasq(addr, *records, port=53):
    """A dnsmasq serving records (its own options) on addr:port; returns once it has started."""
    proc = subprocess.Popen(
        ["dnsmasq", "-k", "-C", "/dev/null", "--no-resolv", "--no-hosts", "--bind-interfaces",
         f"--listen-address={addr}", f"--port={port}", "--user=root", "--pid-file=",
         "--log-facility=-", *records],
        stderr=subprocess.PIPE, text=True)
    for line in proc.stderr:
        if "started" in line:
            break
    return proc


_cases = []
_failed = 0
_passed = 0


def case(fn):
    _cases.append(fn)
    return fn


def check(cond, what):
    global _passed, _failed
    if cond:
        _passed += 1
    else:
        _failed += 1
        print(f"FAIL [{_current}] {what}", file=sys.stderr, flush=True)


def check_eq(want, got, what):
    check(want == got, f"{what}: expected {want!r} got {got!r}")


_current = "(none)"


def run_cases(only=None):
    global _current, _failed
    for fn in _cases:
        if only and fn.__name__ not in only:
            continue
        _current = fn.__name__
        t0 = time.monotonic()
        try:
            fn()
        except Exception:
            _failed += 1
            print(f"FAIL [{_current}] exception:\n{traceback.format_exc()}", file=sys.stderr)
        print(f"case {_current}: {time.monotonic() - t0:.2f}s", flush=True)
    print(f"{_passed} passed, {_failed} failed", flush=True)
    return 0 if _failed == 0 else 1


class velmora_process:
    """The daemon under test, its stdout collected line by line.

    A reader thread keeps the pipe drained (a full pipe would stall the
    daemon); every look at the log first takes whatever is still in the
    pipe itself, under the same lock, so a line the daemon wrote before it
    sent an answer is seen by a check made after the answer arrived."""

    def __init__(self, listen, s1, s2, timeout_ms=200, debug=1, extra=()):
        self.listen = listen
        args = [VELMORA, "--listen", listen, "--s1", s1, "--s2", s2,
                "--session-timeout", str(timeout_ms), "--debug", str(debug), *extra]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.fd = self.proc.stdout.fileno()
        os.set_blocking(self.fd, False)
        self.lines = []
        self.partial = b""
        self.ended = False
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _drain(self):
        """Takes what the pipe holds now; call with self.cond held."""
        while not self.ended:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            if not data:
                if self.partial:
                    self.lines.append(self.partial.decode(errors="replace"))
                self.lines.append(None)  # end of output
                self.ended = True
            else:
                *done, self.partial = (self.partial + data).split(b"\n")
                self.lines.extend(l.decode(errors="replace") for l in done)
            self.cond.notify_all()

    def _read(self):
        while not self.ended:
            select.select([self.fd], [], [])
            with self.cond:
                self._drain()

    def wait_line(self, needle, count=1, timeout=10):
        """Waits until `count` lines contain needle; returns True when they did."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                self._drain()
                if sum(1 for l in self.lines if l is not None and needle in l) >= count:
                    return True
                left = deadline - time.monotonic()
                if left <= 0 or (self.lines and self.lines[-1] is None):
                    return False
                self.cond.wait(left)

    def log(self):
        with self.cond:
            self._drain()
            return [l for l in self.lines if l is not None]

    def lines_with(self, needle):
        return [l for l in self.log() if needle in l]

    def hup(self, path_text):
        before = len(self.lines_with("Reloaded fallback servers"))
        with open(RESOLV, "w") as f:
            f.write(path_text)
        self.proc.send_signal(signal.SIGHUP)
        return self.wait_line("Reloaded fallback servers", before + 1)

    def stop(self):
        self.proc.kill()
        self.proc.wait()


def dig(server, port, name, *opts, qtype="A"):
    out = subprocess.run(["dig", f"@{server}", "-p", str(port), name, qtype, "+tries=1",
                          "+time=5", *opts], capture_output=True, text=True).stdout
    res = {"raw": out, "status": None, "flags": [], "answer": [], "authority": [], "size": None}
    m = re.search(r"status: (\w+)", out)
    if m:
        res["status"] = m.group(1)
    m = re.search(r";; flags: ([^;]*);.*ANSWER: (\d+), AUTHORITY: (\d+), ADDITIONAL: (\d+)", out)
    if m:
        res["flags"] = m.group(1).split()
        res["counts"] = tuple(int(x) for x in m.groups()[1:])
    m = re.search(r"MSG SIZE\s+rcvd: (\d+)", out)
    if m:
        res["size"] = int(m.group(1))
    section = None
    for line in out.splitlines():
        if line.startswith(";; ANSWER SECTION"):
            section = "answer"
        elif line.startswith(";; AUTHORITY SECTION"):
            section = "authority"
        elif line.startswith(";;") or not line.strip():
            section = None if line.startswith(";;") else section
        elif section and not line.startswith(";"):
            res[section].append(line.split())
    return res


def answer_of(r):
    """The data of the first answer record of a dig result; dig's whole output when there is none,
    so that a failed comparison shows what came back."""
    return r["answer"][0][-1] if r["answer"] else r["raw"]


def raw_query(name, qid=0x4242):
    """A minimal A query for name, as bytes."""
    q = bytearray([qid >> 8, qid & 0xFF, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0])
    for label in name.split("."):
        q.append(len(label))
        q += label.encode()
    q += b"\x00\x00\x01\x00\x01"
    return bytes(q)


def udp_client():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    return s


def check_no_datagram(sock, wait, what):
    """Checks that nothing reaches sock within wait seconds."""
    sock.settimeout(wait)
    try:
        extra = sock.recv(4096)
        check(False, f"{what}: {extra!r}")
    except TimeoutError:
        pass
