#!/usr/bin/env python3
"""Times the Wireshark dissector against vexa-sim decode over one capture of
100,000 frames (commands and their replies, by UDP and over TCP
connections), and prints both times and their ratio. Nothing is asserted:
the figures are for reading.

  wireshark/bench_dissector.py --sim build/sim/vexa-sim [--frames N] [--tshark tshark]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from captures import Capture, Connection  # noqa: E402


def envelope(code, payload):
    n = len(payload)
    return (b"\xFE\x5C\x4B\x89" + (n + 19).to_bytes(4, "little") + bytes([code, 0, 0, 0, 0]) +
            n.to_bytes(4, "little") + payload + b"\xFF\xFF")


def line_up(text, slot):
    record = bytearray([1, 0, len(text) + 9, 0, ord("S"), 0, slot, 0x1F]) + text
    x = 0
    for b in record:
        x ^= b
    return bytes(record + bytes([(x >> 4) | (0xF0 if x & 0x80 else 0), x & 0x0F]))


COMMANDS = [
    envelope(0x66, b"\x03\xFC"),
    envelope(0x64, line_up(b"A012", 3)),
    envelope(0x65, b"\x01\x00\x33\x21\x04A012"),
    envelope(0x60, b"\x80\x00\x00\x10\x00\x00\x01\x10\x09Counter 3"),
    envelope(0x68, b"\xFD\x00\x1A\x01\x00Ticket A012 to counter 3\x00\x00"),
    envelope(0x76, b"\x0A\xF5\x01\xFE"),
]
ACCEPT = bytes([0xFE, 0x5C, 0x4B, 0x89, 20, 0, 0, 0, 0x81, 0, 0, 0, 0, 1, 0, 0, 0, 0x31, 0xFF, 0xFF])


def write(path, frames):
    with Capture(path, step=0.0005) as cap:
        written, k = 0, 0
        while written < frames:
            command = COMMANDS[k % len(COMMANDS)]
            if k % 10 == 9:  # every tenth command over a TCP connection of its own
                conn = Connection(cap, "192.0.2.1", 40000 + k % 20000, "192.0.2.10", 8900)
                conn.send("client", command, [len(command) // 2])
                conn.send("server", ACCEPT)
                conn.close()
            else:
                cap.udp("192.0.2.1", 8801, "192.0.2.10", 8800, command)
                cap.udp("192.0.2.10", 8800, "192.0.2.1", 8801, ACCEPT)
            written += 2
            k += 1
    return written


def timed(cmd):
    start = time.monotonic()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--tshark", default="tshark")
    parser.add_argument("--frames", type=int, default=100000)
    parser.add_argument("--lua", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "vexa.lua"))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "bench.pcap")
        frames = write(path, args.frames)
        size = os.path.getsize(path)
        sim = timed([args.sim, "decode", path])
        plain = timed([args.tshark, "-n", "-r", path])
        lua = timed([args.tshark, "-n", "-r", path, "-X", "lua_script:" + args.lua])
        fields = timed([args.tshark, "-n", "-r", path, "-X", "lua_script:" + args.lua, "-T", "json"])
    print("capture: %d frames, %.1f MB" % (frames, size / 1e6))
    print("vexa-sim decode:                 %7.2f s" % sim)
    print("tshark without the dissector:    %7.2f s" % plain)
    print("tshark with vexa.lua:            %7.2f s  (%.1f x vexa-sim decode)" % (lua, lua / sim))
    print("tshark with vexa.lua, -T json:   %7.2f s  (%.1f x vexa-sim decode)" % (fields, fields / sim))


if __name__ == "__main__":
    main()
