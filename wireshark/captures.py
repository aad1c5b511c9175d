"""Packet captures written byte by byte, for the dissector's tests and timing.

A capture is a classic pcap file of Ethernet frames carrying IPv4 with UDP
datagrams or TCP segments, as tcpdump writes them. TCP connections are
written as their segments, each with the sequence and acknowledgement
numbers a real connection would have, so that Wireshark and
`vexa-sim decode` put the streams back together from the numbers alone.
"""

import struct

LINKTYPE_ETHERNET = 1

SYN, FIN, RST, PSH, ACK = 0x02, 0x01, 0x04, 0x08, 0x10


def _checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def _address(text):
    return bytes(int(part) for part in text.split("."))


class Capture:
    """A pcap file being written. Times are seconds since 1970 (float);
    each packet advances the clock by `step` seconds unless given a time."""

    def __init__(self, path, start=1765000000.0, step=0.001):
        self.path = path
        self.time = start
        self.step = step
        self.packets = 0
        self._ip_id = 1
        self._file = open(path, "wb")
        self._file.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 262144, LINKTYPE_ETHERNET))

    def close(self):
        self._file.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def wait(self, seconds):
        """Lets time pass before the next packet."""
        self.time += seconds

    def _ipv4(self, protocol, src, dst, transport):
        header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(transport), self._ip_id & 0xFFFF, 0x4000,
                             64, protocol, 0, _address(src), _address(dst))
        self._ip_id += 1
        header = header[:10] + struct.pack("!H", _checksum(header)) + header[12:]
        return header + transport

    def _write(self, ip_packet, captured=None):
        frame = b"\x02\x00\x00\x00\x00\x02" + b"\x02\x00\x00\x00\x00\x01" + b"\x08\x00" + ip_packet
        kept = frame if captured is None else frame[:14 + 20 + captured]
        seconds = int(self.time)
        micros = int(round((self.time - seconds) * 1e6))
        if micros >= 1000000:
            seconds, micros = seconds + 1, micros - 1000000
        self._file.write(struct.pack("<IIII", seconds, micros, len(kept), len(frame)) + kept)
        self.packets += 1
        self.time += self.step

    def udp(self, src, sport, dst, dport, payload, captured=None):
        """One datagram; `captured` keeps only that many bytes of the
        transport part in the file, as a short snap length does."""
        header = struct.pack("!HHHH", sport, dport, 8 + len(payload), 0)
        pseudo = _address(src) + _address(dst) + struct.pack("!BBH", 0, 17, 8 + len(payload))
        checksum = _checksum(pseudo + header + payload) or 0xFFFF
        header = header[:6] + struct.pack("!H", checksum)
        self._write(self._ipv4(17, src, dst, header + payload), captured)

    def tcp_segment(self, src, sport, dst, dport, seq, ack, flags, payload=b""):
        header = struct.pack("!HHIIBBHHH", sport, dport, seq & 0xFFFFFFFF, ack & 0xFFFFFFFF, 5 << 4, flags,
                             65535, 0, 0)
        pseudo = _address(src) + _address(dst) + struct.pack("!BBH", 0, 6, len(header) + len(payload))
        header = header[:16] + struct.pack("!H", _checksum(pseudo + header + payload)) + header[18:]
        self._write(self._ipv4(6, src, dst, header + payload))


class Connection:
    """A TCP connection from a client to a server in a capture: the
    handshake, data in either direction cut where the caller says, and
    the close. Sequence numbers follow the bytes sent."""

    def __init__(self, capture, client, cport, server, sport, client_isn=1000, server_isn=50000):
        self.cap = capture
        self.ends = {"client": (client, cport), "server": (server, sport)}
        self.next = {"client": client_isn, "server": server_isn}
        self._segment("client", SYN, b"")
        self.next["client"] += 1
        self._segment("server", SYN | ACK, b"")
        self.next["server"] += 1
        self._segment("client", ACK, b"")

    def _other(self, side):
        return "server" if side == "client" else "client"

    def _segment(self, side, flags, payload, seq=None):
        src, sport = self.ends[side]
        dst, dport = self.ends[self._other(side)]
        ack = self.next[self._other(side)] if flags & ACK or flags == SYN | ACK else 0
        self.cap.tcp_segment(src, sport, dst, dport, self.next[side] if seq is None else seq, ack, flags, payload)

    def send(self, side, data, cuts=()):
        """Sends data from side ("client" or "server") in segments cut at the
        offsets given."""
        edges = [0] + sorted(c for c in cuts if 0 < c < len(data)) + [len(data)]
        for a, b in zip(edges, edges[1:]):
            self._segment(side, PSH | ACK, data[a:b])
            self.next[side] += b - a

    def close(self):
        self._segment("client", FIN | ACK, b"")
        self.next["client"] += 1
        self._segment("server", FIN | ACK, b"")
        self.next["server"] += 1
        self._segment("client", ACK, b"")
