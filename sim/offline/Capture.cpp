// Frames in a packet capture (Decode.h): IPv4 datagrams and stream segments
// of the controller's ports, taken from the link layers a capture on Linux
// or elsewhere usually has.
#include <pcap/pcap.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>

#include "Decode.h"
#include "DecodeUtil.h"
#include "Reassembly.h"

namespace vexasim {

namespace {

uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Offset of the IPv4 header in a packet of the link type; -1 when the packet
// carries something else.
long ipv4Offset(int linkType, const uint8_t* p, size_t n) {
  switch (linkType) {
    case DLT_EN10MB: {
      size_t at = 12;
      while (n >= at + 2 && (be16(p + at) == 0x8100 || be16(p + at) == 0x88A8)) at += 4;  // VLAN tags
      return n >= at + 2 && be16(p + at) == 0x0800 ? long(at + 2) : -1;
    }
    case DLT_LINUX_SLL:
      return n >= 16 && be16(p + 14) == 0x0800 ? 16 : -1;
    case DLT_LINUX_SLL2:
      return n >= 20 && be16(p) == 0x0800 ? 20 : -1;
    case DLT_RAW:
    case DLT_IPV4:
      return n >= 1 && (p[0] >> 4) == 4 ? 0 : -1;
    case DLT_NULL:
    case DLT_LOOP: {
      // The address family 2 (IPv4), in the byte order of the capturing host.
      if (n < 4) return -1;
      uint32_t family = be32(p);
      return family == 2 || family == 0x02000000 ? 4 : -1;
    }
    default:
      return -1;
  }
}

bool linkTypeKnown(int linkType) {
  for (int known : {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_IPV4, DLT_NULL, DLT_LOOP})
    if (linkType == known) return true;
  return false;
}

std::string dotted(uint32_t a) {
  return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 255) + '.' + std::to_string((a >> 8) & 255) +
         '.' + std::to_string(a & 255);
}

Endpoint endpointOf(uint32_t address, uint16_t port) { return Endpoint{dotted(address), port}; }

// One direction of a stream connection: source and destination address and
// port.
struct StreamKey {
  uint32_t src, dst;
  uint16_t sport, dport;
  bool operator==(const StreamKey& o) const {
    return src == o.src && dst == o.dst && sport == o.sport && dport == o.dport;
  }
  bool operator<(const StreamKey& o) const {
    return std::tie(src, sport, dst, dport) < std::tie(o.src, o.sport, o.dst, o.dport);
  }
  StreamKey reverse() const { return StreamKey{dst, src, dport, sport}; }
};

struct StreamKeyHash {
  size_t operator()(const StreamKey& k) const {
    uint64_t h = (uint64_t(k.src) << 32 | k.dst) * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t(k.sport) << 16 | k.dport) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    return size_t(h ^ (h >> 29));
  }
};

// One direction of a stream connection, put back in sequence order.
// Positions count the direction's bytes from its first sequence number
// seen, so that they keep growing where the 32-bit sequence numbers wrap.
struct TcpDirection {
  TcpDirection(const char* ch, bool fromController) : channel(ch), reply(fromController) {}
  const char* channel;
  bool reply;                 // bytes the controller sent
  int64_t next = 0;           // position of the next byte in order
  std::map<int64_t, std::vector<uint8_t>> ahead;  // segments after a gap, by position
  size_t aheadBytes = 0;
  StreamSplitter splitter{false};
  long lastMs = 0;            // when bytes last arrived
  long deadline = -1;         // when the splitter may release held bytes; -1: holds none

  // Position of the byte with sequence number seq.
  int64_t position(uint32_t seq) const { return next + int32_t(seq - uint32_t(next)); }
};

// A gap no retransmission fills within this much data is skipped (the
// capture lost a segment).
constexpr size_t kMaxAhead = 256 * 1024;

// Streams are found by their four numbers in a hash map and removed when
// they end, and the ones holding bytes are kept in the order of the time at
// which the quiet rules may release them, so that each packet costs the
// same however many connections the capture holds.
class CaptureDecoder {
 public:
  CaptureDecoder(const DecodeSettings& s, const FrameSink& sink) : s_(s), sink_(sink) {}

  void packet(const uint8_t* p, size_t n, long ms) {
    idle(ms);
    if (n < 20 || (p[0] >> 4) != 4) return;
    size_t ihl = size_t(p[0] & 15) * 4;
    size_t total = be16(p + 2);
    if (total == 0) total = n;  // a segment the network card was left to cut
    if (ihl < 20 || n < ihl || total < ihl) return;
    // Fragments of a larger datagram: no frame of the library needs them.
    if ((be16(p + 6) & 0x3FFF) != 0) return;
    size_t sent = total > ihl ? total - ihl : 0;  // transport bytes as sent
    size_t have = std::min(n, total) - ihl;       // and as captured
    uint32_t src = be32(p + 12), dst = be32(p + 16);
    if (p[9] == 17) udp(p + ihl, have, sent, src, dst, ms);
    if (p[9] == 6) tcp(p + ihl, have, src, dst, ms);
  }

  void finish() {
    std::vector<DatagramFrame> frames;
    joiner_.finish(frames);
    emitDatagrams(frames);
    // What the streams still hold, in the order their bytes came.
    std::vector<std::pair<long, StreamKey>> order;
    for (const auto& [key, dir] : streams_) order.emplace_back(dir.lastMs, key);
    std::sort(order.begin(), order.end());
    for (const auto& [ms, key] : order) endStream(streams_.find(key));
  }

 private:
  using Streams = std::unordered_map<StreamKey, TcpDirection, StreamKeyHash>;

  void emit(Frame f, const char* channel, long ms, Endpoint src, Endpoint dst) {
    Decoded d;
    d.frame = std::move(f);
    d.frame.channel = channel;
    d.time = localTimeText(ms);
    d.src = std::move(src);
    d.dst = std::move(dst);
    sink_(d);
  }

  void emitDatagrams(std::vector<DatagramFrame>& frames) {
    for (const DatagramFrame& d : frames) {
      auto to = datagramDestinations_.find(d.source);
      Endpoint dst;
      if (to != datagramDestinations_.end()) {
        dst = to->second;
        datagramDestinations_.erase(to);
      }
      emit(decodeDatagramFrame(d), "udp", d.lastMs, endpointOf(sourceAddress(d.source), sourcePort(d.source)),
           dst);
    }
    frames.clear();
  }

  void emitPieces(const StreamKey& key, TcpDirection& dir, std::vector<StreamPiece>& pieces, long ms) {
    for (const StreamPiece& piece : pieces)
      emit(dir.reply ? decodeReply(piece.bytes.data(), piece.bytes.size()) : decodeStreamPiece(piece, false),
           dir.channel, ms, endpointOf(key.src, key.sport), endpointOf(key.dst, key.dport));
    pieces.clear();
  }

  // Keeps the stream's place in the order of release times.
  void schedule(const StreamKey& key, TcpDirection& dir) {
    const long when = dir.splitter.releaseTime();
    if (when == dir.deadline) return;
    if (dir.deadline >= 0) deadlines_.erase({dir.deadline, key});
    dir.deadline = when;
    if (when >= 0) deadlines_.insert({when, key});
  }

  // What the live emulator would have done while the line was quiet.
  void idle(long ms) {
    std::vector<DatagramFrame> frames;
    joiner_.expire(ms, frames);
    emitDatagrams(frames);
    std::vector<StreamPiece> pieces;
    while (!deadlines_.empty() && deadlines_.begin()->first <= ms) {
      const StreamKey key = deadlines_.begin()->second;
      deadlines_.erase(deadlines_.begin());
      TcpDirection& dir = streams_.find(key)->second;
      dir.deadline = -1;
      dir.splitter.idle(ms, pieces);
      emitPieces(key, dir, pieces, dir.lastMs);
      schedule(key, dir);
    }
  }

  void udp(const uint8_t* u, size_t have, size_t sent, uint32_t src, uint32_t dst, long ms) {
    if (have < 8) return;
    int sport = be16(u), dport = be16(u + 2);
    size_t length = std::max<size_t>(be16(u + 4), 8) - 8;  // payload as sent
    length = std::min(length, sent >= 8 ? sent - 8 : 0);
    const uint8_t* data = u + 8;
    size_t got = std::min(have - 8, length);
    if (dport == s_.udpPort) {
      const uint64_t source = sourceKey(src, uint16_t(sport));
      datagramDestinations_[source] = endpointOf(dst, uint16_t(dport));
      std::vector<DatagramFrame> frames;
      joiner_.take(source, data, got, length, ms, frames);
      emitDatagrams(frames);
    } else if (sport == s_.udpPort) {
      Frame f = decodeReply(data, got);
      if (got < length) detail::fail(f, "datagram of " + std::to_string(length) + " bytes, of which the first " +
                                            std::to_string(got) + " are decoded");
      emit(std::move(f), "udp", ms, endpointOf(src, uint16_t(sport)), endpointOf(dst, uint16_t(dport)));
    }
  }

  void tcp(const uint8_t* t, size_t have, uint32_t src, uint32_t dst, long ms) {
    if (have < 20) return;
    int sport = be16(t), dport = be16(t + 2);
    size_t off = size_t(t[12] >> 4) * 4;
    if (off < 20 || off > have) return;
    const char* channel = nullptr;
    bool reply = false;
    if (dport == s_.tcpPort) {
      channel = "tcp";
    } else if (sport == s_.tcpPort) {
      channel = "tcp";
      reply = true;
    } else if (s_.loginPort > 0 && sport == s_.loginPort) {
      channel = "login";  // the host's login server sends the commands
    } else if (s_.loginPort > 0 && dport == s_.loginPort) {
      channel = "login";
      reply = true;
    } else {
      return;
    }
    const StreamKey key{src, dst, uint16_t(sport), uint16_t(dport)};
    const uint32_t seq = be32(t + 4);
    const uint8_t flags = t[13];
    const bool syn = flags & 0x02, fin = flags & 0x01, rst = flags & 0x04;
    const uint8_t* data = t + off;
    const size_t len = have - off;
    auto it = streams_.find(key);
    if (syn) {
      if (it != streams_.end()) endStream(it);  // the same ports used again: a new connection
      it = streams_.emplace(key, TcpDirection(channel, reply)).first;
      it->second.next = int64_t(seq) + 1;
    } else if (it == streams_.end() && len > 0) {
      // The capture began in the middle of the connection.
      it = streams_.emplace(key, TcpDirection(channel, reply)).first;
      it->second.next = int64_t(seq);
    }
    if (it != streams_.end() && len) deliver(key, it->second, syn ? seq + 1 : seq, data, len, ms);
    if (rst) {
      // Neither side sends anything more.
      auto back = streams_.find(key.reverse());
      if (back != streams_.end()) endStream(back);
    }
    if ((fin || rst) && (it = streams_.find(key)) != streams_.end()) endStream(it);
  }

  void deliver(const StreamKey& key, TcpDirection& dir, uint32_t seq, const uint8_t* data, size_t len, long ms) {
    std::vector<StreamPiece> pieces;
    const int64_t at = dir.position(seq);
    dir.lastMs = ms;
    if (at > dir.next) {
      auto [held, added] = dir.ahead.emplace(at, std::vector<uint8_t>());
      if (added || held->second.size() < len) {
        dir.aheadBytes += len - held->second.size();
        held->second.assign(data, data + len);
      }
      if (dir.aheadBytes <= kMaxAhead) return;
      dir.next = dir.ahead.begin()->first;  // give up on the gap: go on from the earliest segment held
    } else if (dir.next - at < int64_t(len)) {
      const size_t skip = size_t(dir.next - at);  // a retransmission overlapping what was delivered
      dir.splitter.feed(data + skip, len - skip, ms, pieces);
      dir.next = at + int64_t(len);
    }
    takeAhead(dir, ms, pieces);
    emitPieces(key, dir, pieces, ms);
    schedule(key, dir);
  }

  // Feeds the segments held after a gap that are next in order now.
  static void takeAhead(TcpDirection& dir, long ms, std::vector<StreamPiece>& pieces) {
    while (!dir.ahead.empty() && dir.ahead.begin()->first <= dir.next) {
      auto first = dir.ahead.begin();
      const std::vector<uint8_t>& b = first->second;
      const int64_t skip = dir.next - first->first;
      if (skip < int64_t(b.size())) {
        dir.splitter.feed(b.data() + skip, b.size() - size_t(skip), ms, pieces);
        dir.next = first->first + int64_t(b.size());
      }
      dir.aheadBytes -= b.size();
      dir.ahead.erase(first);
    }
  }

  // The direction ended: everything it holds, segments after a gap that was
  // never filled included, then it is forgotten.
  void endStream(Streams::iterator it) {
    TcpDirection& dir = it->second;
    std::vector<StreamPiece> pieces;
    while (!dir.ahead.empty()) {
      dir.next = std::max(dir.next, dir.ahead.begin()->first);
      takeAhead(dir, dir.lastMs, pieces);
    }
    dir.splitter.finish(pieces);
    emitPieces(it->first, dir, pieces, dir.lastMs);
    if (dir.deadline >= 0) deadlines_.erase({dir.deadline, it->first});
    streams_.erase(it);
  }

  const DecodeSettings& s_;
  const FrameSink& sink_;
  DatagramReassembler joiner_;
  std::unordered_map<uint64_t, Endpoint> datagramDestinations_;  // of frames being joined, by source
  Streams streams_;
  std::set<std::pair<long, StreamKey>> deadlines_;
};

}  // namespace

bool decodeCapture(std::FILE* file, const DecodeSettings& settings, const FrameSink& sink, std::string* error) {
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  std::unique_ptr<pcap_t, void (*)(pcap_t*)> pc(
      pcap_fopen_offline_with_tstamp_precision(file, PCAP_TSTAMP_PRECISION_MICRO, errbuf), pcap_close);
  if (!pc) {
    std::fclose(file);
    if (error) *error = errbuf;
    return false;
  }
  int linkType = pcap_datalink(pc.get());
  if (!linkTypeKnown(linkType)) {
    const char* name = pcap_datalink_val_to_name(linkType);
    if (error) *error = "link type " + std::string(name ? name : std::to_string(linkType)) + " is not supported";
    return false;
  }
  CaptureDecoder decoder(settings, sink);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int r;
  while ((r = pcap_next_ex(pc.get(), &header, &data)) == 1) {
    long ms = long(header->ts.tv_sec) * 1000 + long(header->ts.tv_usec) / 1000;
    long at = ipv4Offset(linkType, data, header->caplen);
    if (at >= 0) decoder.packet(data + at, header->caplen - size_t(at), ms);
  }
  decoder.finish();
  if (r == -1) {
    if (error) *error = pcap_geterr(pc.get());
    return false;
  }
  return true;
}

}  // namespace vexasim
