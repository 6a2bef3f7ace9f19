#!/usr/bin/env python3
"""Throughput and latency of a serial-to-TCP bridge on this machine.

The bench plays both ends: it holds the serial side (a pseudo-terminal) and
is the TCP client. It measures, for each bridge under test,
  - network -> serial and serial -> network throughput for SIZE bytes,
  - the round trip of small messages (TCP -> bridge -> pty -> echo -> bridge -> TCP).

Bridges: porvix (headless, virtual port), and, when installed, socat (its own
pty) and ser2net (a pty pair whose master the bench holds).
"""
import argparse
import os
import pty
import selectors
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import termios
import time
import tty


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    return fd


def wait_for(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def connect(port, timeout=10):
    deadline = time.monotonic() + timeout
    while True:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=2)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.setblocking(False)
            return s
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def pump(src_write, dst_read, total, write_fd, read_fd):
    """Moves `total` bytes from the writer to the reader side, both non-blocking."""
    block = os.urandom(65536)
    sent = received = 0
    sel = selectors.DefaultSelector()
    sel.register(read_fd, selectors.EVENT_READ, "r")
    sel.register(write_fd, selectors.EVENT_WRITE, "w")
    start = time.monotonic()
    while received < total:
        if time.monotonic() - start > 120:
            raise RuntimeError(f"stalled after {received} of {total} bytes")
        for key, _ in sel.select(timeout=1):
            if key.data == "w":
                if sent >= total:
                    sel.unregister(write_fd)
                    continue
                try:
                    sent += src_write(block[: min(len(block), total - sent)])
                except (BlockingIOError, InterruptedError):
                    pass
            else:
                try:
                    chunk = dst_read(65536)
                except (BlockingIOError, InterruptedError):
                    continue
                received += len(chunk)
    return time.monotonic() - start


def round_trips(sock, fd, count):
    times = []
    for i in range(count):
        message = b"ping%04d" % i
        start = time.monotonic()
        sock.sendall(message)
        got = b""
        while len(got) < len(message):
            try:
                got += os.read(fd, 64)
            except BlockingIOError:
                time.sleep(0)
        os.write(fd, got)
        back = b""
        while len(back) < len(message):
            try:
                back += sock.recv(64)
            except BlockingIOError:
                time.sleep(0)
        times.append(time.monotonic() - start)
    return times


def measure(name, sock, fd, size, count):
    sock_fd = sock.fileno()
    to_serial = pump(sock.send, lambda n: os.read(fd, n), size, sock_fd, fd)
    to_network = pump(lambda b: os.write(fd, b), sock.recv, size, fd, sock_fd)
    rtt = round_trips(sock, fd, count)
    mib = size / (1 << 20)
    print(f"{name:8s} net->serial {mib / to_serial:8.1f} MiB/s   serial->net {mib / to_network:8.1f} MiB/s   "
          f"round trip median {statistics.median(rtt) * 1000:6.2f} ms  p95 {sorted(rtt)[int(len(rtt) * .95)] * 1000:6.2f} ms")


def bench_porvix(binary, size, count, buffer_position):
    home = tempfile.mkdtemp(prefix="porvix-bench-")
    port = free_port()
    vdir = os.path.join(home, "ports")
    with open(os.path.join(home, "bench.pvx"), "w") as f:
        f.write(f"[Porvix]\r\nNumSessions=1\r\nVirtualPortDir={vdir}\r\nPacketSize=10000\r\n"
                f"[Session1]\r\nConnector=7\r\nCreateVirtualPort=1\r\nTCPOption=1\r\nLocalIP=127.0.0.1\r\n"
                f"PortNumber={port}\r\nBufferSize={buffer_position}\r\nAutoActivate=1\r\n")
    env = dict(os.environ, PORVIX_HOME=home, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home)
    proc = subprocess.Popen([binary, "--headless", "--home", home, os.path.join(home, "bench.pvx")],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        link = os.path.join(vdir, "COM7")
        if not wait_for(lambda: os.path.exists(link), 10):
            raise RuntimeError("porvix did not create its virtual port")
        fd = open_raw(link)
        sock = connect(port)
        time.sleep(0.2)
        measure("porvix", sock, fd, size, count)
        sock.close()
        os.close(fd)
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(10)
        shutil.rmtree(home, ignore_errors=True)


def bench_socat(size, count):
    if not shutil.which("socat"):
        print("socat    not installed (apt-get install socat)")
        return
    home = tempfile.mkdtemp(prefix="socat-bench-")
    port = free_port()
    link = os.path.join(home, "pty")
    proc = subprocess.Popen(["socat", f"PTY,link={link},raw,echo=0",
                             f"TCP-LISTEN:{port},bind=127.0.0.1,reuseaddr,nodelay"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(lambda: os.path.exists(link), 10):
            raise RuntimeError("socat did not create its pty")
        fd = open_raw(link)
        sock = connect(port)
        measure("socat", sock, fd, size, count)
        sock.close()
        os.close(fd)
    finally:
        proc.terminate()
        proc.wait(10)
        shutil.rmtree(home, ignore_errors=True)


def bench_ser2net(size, count):
    if not shutil.which("ser2net"):
        print("ser2net  not installed (apt-get install ser2net)")
        return
    home = tempfile.mkdtemp(prefix="ser2net-bench-")
    port = free_port()
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    slave_path = os.ttyname(slave)
    config = os.path.join(home, "ser2net.yaml")
    with open(config, "w") as f:
        f.write(f"connection: &bench\n  accepter: tcp,127.0.0.1,{port}\n  enable: on\n"
                f"  connector: serialdev,{slave_path},9600n81,local\n  options:\n    kickolduser: true\n")
    proc = subprocess.Popen(["ser2net", "-n", "-d", "-c", config],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        sock = connect(port)
        time.sleep(0.3)
        os.close(slave)
        measure("ser2net", sock, master, size, count)
        sock.close()
    finally:
        proc.terminate()
        proc.wait(10)
        os.close(master)
        shutil.rmtree(home, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(os.path.dirname(__file__), "..", "build", "porvix"))
    parser.add_argument("--size-mib", type=int, default=64)
    parser.add_argument("--round-trips", type=int, default=500)
    parser.add_argument("--buffer-position", type=int, default=5,
                        help="porvix's buffer-size list position (2: 8192 bytes, 5: 65536 bytes)")
    args = parser.parse_args()
    size = args.size_mib << 20
    bench_porvix(args.binary, size, args.round_trips, args.buffer_position)
    bench_socat(size, args.round_trips)
    bench_ser2net(size, args.round_trips)


if __name__ == "__main__":
    sys.exit(main())
