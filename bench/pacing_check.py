#!/usr/bin/env python3
"""Measures how fast bytes cross `devsim wire` and compares it with the line rate.

Starts devsim wire in a temporary device namespace, writes a burst into one
port, timestamps the bytes as they come out of the other, and prints the
measured character rate beside baud / bits. Exit status 0 when the two agree
within the tolerance (1 % by default), 1 when not, 2 when the run failed.
Timing depends on the machine's load, so this is a benchmark, not a test.

usage: pacing_check.py [--devsim PATH] [--baud B] [--bits N] [--bytes N] [--tolerance PCT]
"""
import argparse
import json
import os
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty


def wait_for_event(stream, name, limit_s):
    deadline = time.monotonic() + limit_s
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], deadline - time.monotonic())
        if not ready:
            break
        line = stream.readline()
        if not line:
            break
        event = json.loads(line)
        if event.get("event") == name:
            return event
    raise RuntimeError(f"devsim did not report {name!r} within {limit_s} s")


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--devsim", default=os.path.join(here, "..", "build", "bin", "devsim"))
    parser.add_argument("--baud", type=int, default=115200)
    parser.add_argument("--bits", type=int, default=10)
    parser.add_argument("--bytes", type=int, default=20000)
    parser.add_argument("--tolerance", type=float, default=1.0, help="percent")
    args = parser.parse_args()

    root = tempfile.mkdtemp(prefix="pacing-")
    env = dict(os.environ, FLASHKIT_DEVROOT=root)
    devsim = subprocess.Popen(
        [args.devsim, "wire", "--com", "1", "--com", "2", "--baud", str(args.baud),
         "--bits", str(args.bits)],
        stdout=subprocess.PIPE, text=True, env=env)
    try:
        ready = wait_for_event(devsim.stdout, "ready", 10)
        sender, receiver = (open_raw(p) for p in ready["path"])
        payload = bytes((i * 7 + i // 256) & 0xFF for i in range(args.bytes))
        expected_s = args.bytes * args.bits / args.baud

        def send():
            view = memoryview(payload)
            while view:
                select.select([], [sender], [], 1)
                view = view[os.write(sender, view):]

        writer = threading.Thread(target=send)
        started = time.monotonic()
        writer.start()
        received = bytearray()
        first = last = None
        first_count = 0
        deadline = started + expected_s * 2 + 5
        while len(received) < len(payload) and time.monotonic() < deadline:
            if select.select([receiver], [], [], 0.5)[0]:
                chunk = os.read(receiver, 65536)
                now = time.monotonic()
                if first is None:
                    first, first_count = now, len(chunk)
                received += chunk
                last = now
        writer.join()
    finally:
        devsim.send_signal(signal.SIGTERM)
        stats = wait_for_event(devsim.stdout, "line-stats", 10)
        devsim.wait(10)

    if bytes(received) != payload:
        print(f"FAILED: {len(received)} of {len(payload)} bytes arrived, or not in order")
        return 2
    line_rate = args.baud / args.bits
    # From the first read to the last: the bytes after the first read took that long.
    measured = (len(payload) - first_count) / (last - first) if last > first else float("inf")
    whole = len(payload) / (last - started)
    error_pct = (measured - line_rate) / line_rate * 100
    links_left = [n for n in os.listdir(root)]
    print(f"line rate       {line_rate:12.1f} chars/s  ({args.baud} baud, {args.bits} bits)")
    print(f"measured        {measured:12.1f} chars/s  ({error_pct:+.2f} %)")
    print(f"write to arrival{whole:12.1f} chars/s  ({args.bytes} bytes in {last - started:.3f} s,"
          f" line time {expected_s:.3f} s)")
    print(f"line stats      {json.dumps(stats['directions'])}")
    print(f"links left      {links_left}")
    if not links_left:
        os.rmdir(root)
    return 0 if abs(error_pct) <= args.tolerance and not links_left else 1


if __name__ == "__main__":
    sys.exit(main())
