"""Peers of the benchmark's overload scenarios, in Python: a Telnet client that
checks a serial stream byte for byte, the writer of that stream, peers that
flood Telnet requests and never read, clients of the command channel that
come in bursts, flood or sit idle, and a watch over a process's memory.

Each peer bounds itself in time; the memory watch stops a flood once the
bridge's memory passes a cap, and kills the bridge (by its id) past twice
the cap, so that a fault never runs the machine out of memory."""
import errno
import os
import random
import select
import socket
import ssl
import threading
import time
import tty

IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254
COM_PORT = 44
# A block of the stream, repeated: random bytes, 0xFF among them, so that the
# doubling of IAC in data is exercised too.
STREAM_BLOCK = random.Random(2217).randbytes(1 << 16)
# The start of a ClientHello: a record that says 512 bytes follow, and the
# first 45 of them. A server waits for the rest, which never comes.
PARTIAL_CLIENT_HELLO = bytes([0x16, 3, 1, 2, 0, 1, 0, 1, 0xFC, 3, 3]) + random.Random(1).randbytes(34)


def status_kb(pid, field):
    """A "Field:   N kB" figure of /proc/PID/status."""
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(field))


def descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def stream_bytes(offset, length):
    """`length` bytes of the checked stream from position `offset`."""
    start = offset % len(STREAM_BLOCK)
    out = bytearray()
    while len(out) < length:
        out += STREAM_BLOCK[start:start + length - len(out)]
        start = 0
    return bytes(out)


class MemoryWatch(threading.Thread):
    """Samples VmRSS of `pid` every 50 ms and keeps the peak; `over` is set
    once it passes `cap_kb`, and past twice the cap `runaway` is called."""

    def __init__(self, pid, cap_kb, runaway):
        super().__init__(daemon=True)
        self.pid, self.cap_kb, self.runaway = pid, cap_kb, runaway
        self.peak_kb = 0
        self.over = threading.Event()
        self.done = threading.Event()
        self.start()

    def run(self):
        while not self.done.wait(0.05):
            try:
                rss = status_kb(self.pid, "VmRSS:")
            except (OSError, StopIteration):
                return
            self.peak_kb = max(self.peak_kb, rss)
            if rss > self.cap_kb:
                self.over.set()
            if rss > 2 * self.cap_kb:
                self.runaway()
                return

    def stop(self):
        self.done.set()
        self.join()
        return self.peak_kb


class StreamWriter(threading.Thread):
    """Writes the checked stream into a serial end (a virtual port) at `rate`
    bytes a second until stopped."""

    def __init__(self, path, rate):
        super().__init__(daemon=True)
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        self.poller = select.poll()
        self.poller.register(self.fd, select.POLLOUT)
        self.rate, self.written = rate, 0
        self.done = threading.Event()
        self.start()

    def run(self):
        started = time.monotonic()
        while not self.done.is_set():
            due = int(self.rate * (time.monotonic() - started)) - self.written
            if due <= 0:
                time.sleep(0.01)
                continue
            if not self.poller.poll(50):
                continue
            try:
                self.written += os.write(self.fd, stream_bytes(self.written, min(due, 4096)))
            except BlockingIOError:
                pass

    def stop(self):
        """Stops writing and closes the serial end, once; the bytes written."""
        if not self.done.is_set():
            self.done.set()
            self.join()
            os.close(self.fd)
        return self.written


class StreamReader(threading.Thread):
    """A client of a server session that reads the serial stream on `sock`:
    it compares every data byte with the stream and notes the longest pause
    between two arrivals."""

    def __init__(self, sock):
        super().__init__(daemon=True)
        self.sock = sock
        self.sock.settimeout(0.2)
        self.received = 0
        self.exact = True
        self.longest_pause = 0.0
        self.done = threading.Event()
        self.start()

    def run(self):
        last = time.monotonic()
        while not self.done.is_set():
            try:
                chunk = self.sock.recv(1 << 16)
            except socket.timeout:
                continue
            except OSError:
                return
            if not chunk:
                return
            data = self.data_of(chunk)
            if data:
                now = time.monotonic()
                if self.received:
                    self.longest_pause = max(self.longest_pause, now - last)
                last = now
                self.exact &= data == stream_bytes(self.received, len(data))
                self.received += len(data)

    def data_of(self, chunk):
        """The stream's bytes in `chunk`, as it came from the socket."""
        return chunk

    def wait_for(self, count, timeout):
        """Waits until `count` data bytes have come or `timeout` passed."""
        deadline = time.monotonic() + timeout
        while self.received < count and time.monotonic() < deadline and self.is_alive():
            time.sleep(0.05)

    def stop(self):
        self.done.set()
        self.join()
        self.sock.close()


class TelnetStreamReader(StreamReader):
    """A client of an RFC 2217 server session that reads the serial stream:
    it agrees to what the server offers and takes the Telnet commands out."""

    def __init__(self, port):
        self.pending = b""
        self.answered = set()
        super().__init__(socket.create_connection(("127.0.0.1", port), timeout=10))

    def data_of(self, chunk):
        return self.take_commands(self.pending + chunk)

    def take_commands(self, buf):
        """The data bytes of `buf`; an incomplete command is kept for the next chunk."""
        data, pos = bytearray(), 0
        while True:
            at = buf.find(IAC, pos)
            if at < 0:
                data += buf[pos:]
                self.pending = b""
                return bytes(data)
            data += buf[pos:at]
            end = self.command_end(buf, at)
            if end is None:
                self.pending = buf[at:]
                return bytes(data)
            if buf[at + 1] == IAC:
                data.append(IAC)
            elif buf[at + 1] in (WILL, DO) and (buf[at + 1], buf[at + 2]) not in self.answered:
                self.answered.add((buf[at + 1], buf[at + 2]))
                self.sock.sendall(bytes([IAC, DO if buf[at + 1] == WILL else WILL, buf[at + 2]]))
            pos = end

    @staticmethod
    def command_end(buf, at):
        """Where the command at `at` ends; None while it is not all there."""
        if at + 1 >= len(buf):
            return None
        verb = buf[at + 1]
        if verb in (WILL, WONT, DO, DONT):
            return at + 3 if at + 2 < len(buf) else None
        if verb != SB:
            return at + 2
        pos = at + 2
        while True:
            mark = buf.find(IAC, pos)
            if mark < 0 or mark + 1 >= len(buf):
                return None
            if buf[mark + 1] == SE:
                return mark + 2
            pos = mark + 2


def flood(sock, chunk, seconds, stop):
    """Sends `chunk` again and again on `sock` and never reads, for `seconds`
    or until `stop` is set or the other end closes; returns the bytes sent
    and how the flood ended."""
    sock.settimeout(0.1)
    sent, deadline = 0, time.monotonic() + seconds
    try:
        while not stop.is_set():
            if time.monotonic() > deadline:
                return sent, "time up"
            try:
                sent += sock.send(chunk)
            except socket.timeout:
                pass
    except OSError as e:
        return sent, f"closed by Porvix ({os.strerror(e.errno) if e.errno else e})"
    finally:
        sock.close()  # unread bytes left: the kernel resets the connection
    return sent, "memory cap reached"


def repeated(pattern, size=1 << 16):
    return pattern * (size // len(pattern))


def unix_connection(path, timeout=5):
    """A connection to the local socket `path`; a full queue is waited out."""
    deadline = time.monotonic() + timeout
    while True:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            sock.connect(path)
            return sock
        except BlockingIOError:
            sock.close()
            if time.monotonic() > deadline:
                raise
            time.sleep(0.01)
        except OSError as e:
            sock.close()
            if e.errno != errno.EAGAIN or time.monotonic() > deadline:
                raise


def turned_away(sock):
    """True when the channel has ended `sock` or sent it something unasked."""
    poller = select.poll()
    poller.register(sock, select.POLLIN)
    return bool(poller.poll(0))


def answers(got):
    """How many requests `got`, a channel's reply bytes, answers, and how many of them with ACK."""
    lines = got.split(b"\n")[:-1]
    return sum(line in (b"ACK", b"NAK") for line in lines), lines.count(b"ACK")


def burst(path, count, request, requests):
    """`count` connections at once, each sending `request` `requests` times
    before it reads; then each reads its answers (or its end) and goes.
    Returns how many connected, how many got an ACK to every request, and
    how many got some answers but not all (cut short)."""
    socks = []
    for _ in range(count):
        try:
            sock = unix_connection(path)
            sock.sendall(request * requests)
            socks.append(sock)
        except OSError:
            pass
    time.sleep(1)  # everything waits in Porvix: the peak
    served = cut_short = 0
    deadline = time.monotonic() + 20
    for sock in socks:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        got = b""
        try:
            while answers(got)[0] < requests:
                more = sock.recv(1 << 16)
                if not more:
                    break
                got += more
        except OSError:
            pass
        answered, accepted = answers(got)
        served += accepted == requests
        cut_short += 0 < answered and accepted < requests
        sock.close()
    return len(socks), served, cut_short


def tls_client(port, ca_file, timeout=10):
    """A TLS client of a server session on 127.0.0.1, the handshake done,
    the server's certificate checked against `ca_file`."""
    context = ssl.create_default_context(cafile=ca_file)
    sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        return context.wrap_socket(sock, server_hostname="127.0.0.1")
    except BaseException:
        sock.close()
        raise


def stalled_hello(port):
    """A client that opens TLS and stalls mid-handshake: a partial ClientHello, then nothing."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    sock.sendall(PARTIAL_CLIENT_HELLO)
    return sock


def refused_attempt(port):
    """Connects, says something and waits until the server has ended the
    connection; the bytes it got back (none, from a refusing server)."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        got = b""
        try:
            sock.sendall(PARTIAL_CLIENT_HELLO)
            while more := sock.recv(4096):
                got += more
        except OSError:
            pass  # reset by the server: ended as well
        return got
