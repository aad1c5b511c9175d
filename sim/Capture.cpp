// Frames in a packet capture (Decode.h): IPv4 datagrams and stream segments
// of the controller's ports, taken from the link layers a capture on Linux
// or elsewhere usually has.
#include <pcap/pcap.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

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

// One direction of a stream connection, put back in sequence order.
struct TcpDirection {
  explicit TcpDirection(const char* ch, bool fromController) : channel(ch), reply(fromController) {}
  const char* channel;
  bool reply;  // bytes the controller sent
  bool started = false;
  uint32_t next = 0;  // sequence number of the next byte in order
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> ahead;  // segments after a gap
  size_t aheadBytes = 0;
  StreamSplitter splitter{false};
};

// A gap no retransmission fills within this much data is skipped (the
// capture lost a segment).
constexpr size_t kMaxAhead = 256 * 1024;

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
    for (auto& [key, dir] : streams_) finishStream(dir);
  }

 private:
  void emit(Frame f, const char* channel) {
    f.channel = channel;
    sink_(f);
  }

  void emitDatagrams(std::vector<DatagramFrame>& frames) {
    for (const DatagramFrame& d : frames) emit(decodeDatagramFrame(d), "udp");
    frames.clear();
  }

  void emitPieces(TcpDirection& dir, std::vector<StreamPiece>& pieces) {
    for (const StreamPiece& piece : pieces)
      emit(dir.reply ? decodeReply(piece.bytes.data(), piece.bytes.size()) : decodeStreamPiece(piece, false),
           dir.channel);
    pieces.clear();
  }

  // What the live emulator would have done while the line was quiet.
  void idle(long ms) {
    std::vector<DatagramFrame> frames;
    joiner_.expire(ms, frames);
    emitDatagrams(frames);
    std::vector<StreamPiece> pieces;
    for (auto& [key, dir] : streams_) {
      dir.splitter.idle(ms, pieces);
      emitPieces(dir, pieces);
    }
  }

  void udp(const uint8_t* u, size_t have, size_t sent, uint32_t src, uint32_t dst, long ms) {
    if (have < 8) return;
    int sport = be16(u), dport = be16(u + 2);
    size_t length = std::max<size_t>(be16(u + 4), 8) - 8;  // payload as sent
    length = std::min(length, sent >= 8 ? sent - 8 : 0);
    const uint8_t* data = u + 8;
    size_t got = std::min(have - 8, length);
    (void)dst;
    if (dport == s_.udpPort) {
      std::vector<DatagramFrame> frames;
      joiner_.take(sourceKey(src, uint16_t(sport)), data, got, length, ms, frames);
      emitDatagrams(frames);
    } else if (sport == s_.udpPort) {
      Frame f = decodeReply(data, got);
      if (got < length) detail::fail(f, "datagram of " + std::to_string(length) + " bytes, of which the first " +
                                            std::to_string(got) + " are decoded");
      emit(std::move(f), "udp");
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
    auto key = std::make_tuple(src, uint16_t(sport), dst, uint16_t(dport));
    auto it = streams_.find(key);
    if (it == streams_.end()) it = streams_.emplace(key, TcpDirection(channel, reply)).first;
    TcpDirection& dir = it->second;
    uint32_t seq = be32(t + 4);
    uint8_t flags = t[13];
    const bool syn = flags & 0x02, fin = flags & 0x01, rst = flags & 0x04;
    if (syn) {
      finishStream(dir);  // the same ports used again: a new connection
      dir.started = true;
      dir.next = seq + 1;
      dir.ahead.clear();
      dir.aheadBytes = 0;
    } else if (!dir.started) {
      dir.started = true;  // the capture began in the middle of the connection
      dir.next = seq;
    }
    const uint8_t* data = t + off;
    size_t len = have - off;
    if (len) deliver(dir, syn ? seq + 1 : seq, data, len, ms);
    if (fin || rst) finishStream(dir);
  }

  void deliver(TcpDirection& dir, uint32_t seq, const uint8_t* data, size_t len, long ms) {
    std::vector<StreamPiece> pieces;
    int32_t rel = int32_t(seq - dir.next);
    if (rel > 0) {
      dir.aheadBytes += len;
      dir.ahead.emplace_back(seq, std::vector<uint8_t>(data, data + len));
      if (dir.aheadBytes <= kMaxAhead) return;
      // Give up on the gap: go on from the earliest segment held.
      auto first = std::min_element(dir.ahead.begin(), dir.ahead.end(), [&](const auto& a, const auto& b) {
        return int32_t(a.first - dir.next) < int32_t(b.first - dir.next);
      });
      dir.next = first->first;
    } else if (size_t(-int64_t(rel)) < len) {
      size_t skip = size_t(-int64_t(rel));  // a retransmission overlapping what was delivered
      dir.splitter.feed(data + skip, len - skip, ms, pieces);
      dir.next = seq + uint32_t(len);
    }
    // Segments that were waiting for this one.
    for (bool more = true; more;) {
      more = false;
      for (auto a = dir.ahead.begin(); a != dir.ahead.end(); ++a) {
        int32_t r = int32_t(a->first - dir.next);
        if (r > 0) continue;
        size_t skip = size_t(-int64_t(r));
        if (skip < a->second.size()) {
          dir.splitter.feed(a->second.data() + skip, a->second.size() - skip, ms, pieces);
          dir.next = a->first + uint32_t(a->second.size());
        }
        dir.aheadBytes -= a->second.size();
        dir.ahead.erase(a);
        more = true;
        break;
      }
    }
    emitPieces(dir, pieces);
  }

  void finishStream(TcpDirection& dir) {
    std::vector<StreamPiece> pieces;
    dir.splitter.finish(pieces);
    emitPieces(dir, pieces);
    dir.started = false;
  }

  const DecodeSettings& s_;
  const FrameSink& sink_;
  DatagramReassembler joiner_;
  std::map<std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>, TcpDirection> streams_;
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
