// vexa-sim decode: frames found in captures written with libpcap's own dump
// functions, in hand-written traces and in hex text, printed in the live
// emulator's lines after their time and ends.
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Decode.h"
#include "DecodeUtil.h"
#include "SimFixture.h"
#include "VexaSim.h"

using namespace vexasim;

namespace {

const char kPlayPage3[] = "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF";
const char kAccept[] = "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 31 FF FF";
const char kStartPlay[] = "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF";
const char kBright[] = "FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF";

const char kPage3Line[] = "PlayShowPage(0x66) page=3 pageCheck=ok  [21 bytes, checks ok]";
const char kAcceptLine[] = "Reply(0x81) status=\"1\" meaning=accepted  [20 bytes, checks ok]";
const char kBrightLine[] =
    "SetBright(0x76) value1=10 value1Check=ok value2=1 value2Check=ok  [23 bytes, checks ok]";

const uint32_t kHost = 0xC0000201;        // 192.0.2.1
const uint32_t kController = 0xC000020A;  // 192.0.2.10
const uint32_t kOther = 0xC000020B;       // 192.0.2.11

// Capture times are printed in local time: here UTC, for every test.
const bool kUtc = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();

// The start of a capture line: packets are stamped 1765000000 s
// (2025-12-06 05:46:40 UTC) plus ms.
std::string at(long ms, const std::string& src, const std::string& dst) {
  char t[64];
  std::snprintf(t, sizeof t, "2025-12-06 05:46:%02ld.%03ld  ", 40 + ms / 1000, ms % 1000);
  return t + src + " > " + dst + "  ";
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x >> 8));
  v.push_back(uint8_t(x));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x >> 16);
  put16(v, x & 0xFFFF);
}

// Writes a capture through libpcap, building each packet's headers by hand.
class CaptureFile {
 public:
  explicit CaptureFile(int linkType = DLT_EN10MB) : linkType_(linkType) {
    char dir[] = "/tmp/vexa-decode-XXXXXX";
    dir_ = ::mkdtemp(dir);
    path_ = dir_ + "/capture.pcap";
    dead_ = pcap_open_dead(linkType, 65535);
    dumper_ = pcap_dump_open(dead_, path_.c_str());
  }
  ~CaptureFile() {
    close();
    std::remove(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  bool ok() const { return dumper_ != nullptr; }
  const std::string& path() const { return path_; }
  void close() {
    if (dumper_) pcap_dump_close(dumper_);
    if (dead_) pcap_close(dead_);
    dumper_ = nullptr;
    dead_ = nullptr;
  }

  void udp(uint32_t src, int sport, uint32_t dst, int dport, const std::vector<uint8_t>& data, long ms) {
    std::vector<uint8_t> h;
    put16(h, sport);
    put16(h, dport);
    put16(h, uint32_t(8 + data.size()));
    put16(h, 0);
    ip(17, src, dst, cat(h, data), ms);
  }

  enum Flags : uint8_t { FIN = 0x01, SYN = 0x02, ACK = 0x10, PSH = 0x08 };
  void tcp(uint32_t src, int sport, uint32_t dst, int dport, uint32_t seq, uint8_t flags,
           const std::vector<uint8_t>& data, long ms) {
    std::vector<uint8_t> h;
    put16(h, sport);
    put16(h, dport);
    put32(h, seq);
    put32(h, 0);           // acknowledgement
    h.push_back(5 << 4);   // 20-byte header
    h.push_back(flags);
    put16(h, 65535);       // window
    put32(h, 0);           // checksum, urgent pointer
    ip(6, src, dst, cat(h, data), ms);
  }

 private:
  void ip(uint8_t protocol, uint32_t src, uint32_t dst, const std::vector<uint8_t>& body, long ms) {
    std::vector<uint8_t> h = {0x45, 0};
    put16(h, uint32_t(20 + body.size()));
    put32(h, 0);  // identification, no fragment
    h.push_back(64);
    h.push_back(protocol);
    put16(h, 0);  // checksum (not looked at)
    put32(h, src);
    put32(h, dst);
    std::vector<uint8_t> link;
    switch (linkType_) {
      case DLT_EN10MB: link = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x08, 0x00}; break;
      case DLT_LINUX_SLL: link = {0, 0, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0, 0x08, 0x00}; break;
      case DLT_LINUX_SLL2: link = {0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0}; break;
      case DLT_NULL: link = {2, 0, 0, 0}; break;  // AF_INET, little-endian host
      default: break;                             // raw IP
    }
    std::vector<uint8_t> packet = cat(cat(link, h), body);
    pcap_pkthdr hdr{};
    hdr.ts.tv_sec = 1765000000 + ms / 1000;
    hdr.ts.tv_usec = (ms % 1000) * 1000;
    hdr.caplen = hdr.len = bpf_u_int32(packet.size());
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &hdr, packet.data());
  }

  int linkType_;
  std::string dir_, path_;
  pcap_t* dead_ = nullptr;
  pcap_dumper_t* dumper_ = nullptr;
};

struct Outcome {
  int status;
  std::string out, err;
};

// vexa-sim decode with these arguments and this standard input.
Outcome decode(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "decode");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  std::istringstream in(input);
  std::ostringstream out, err;
  int status = runDecodeCommand(int(argv.size()), argv.data(), in, out, err);
  return Outcome{status, out.str(), err.str()};
}

// A network frame of an unknown command carrying n bytes of 11.
std::vector<uint8_t> unknownFrame(size_t n) {
  uint32_t total = uint32_t(n + 19);
  std::vector<uint8_t> f = {0xFE, 0x5C, 0x4B, 0x89, uint8_t(total), uint8_t(total >> 8), 0, 0, 0x7E, 0, 0, 0, 0,
                            uint8_t(n), uint8_t(n >> 8), 0, 0};
  f.resize(17 + n, 0x11);
  f.push_back(0xFF);
  f.push_back(0xFF);
  return f;
}

std::string elevens(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += i ? " 11" : "11";
  return s;
}

}  // namespace

TEST(SimDecodeCapture, DatagramsJoinedAndRepliesLabelled) {
  CaptureFile cap;
  ASSERT_TRUE(cap.ok());
  // A frame and its reply.
  cap.udp(kHost, 8801, kController, 8800, bytesOf(kPlayPage3), 0);
  cap.udp(kController, 8800, kHost, 8801, bytesOf(kAccept), 1);
  // A 1500-byte frame in two pieces, 1408 and 92 bytes.
  std::vector<uint8_t> big = unknownFrame(1481);
  cap.udp(kHost, 8801, kController, 8800, std::vector<uint8_t>(big.begin(), big.begin() + 1408), 10);
  cap.udp(kHost, 8801, kController, 8800, std::vector<uint8_t>(big.begin() + 1408, big.end()), 11);
  // A first piece whose rest never comes: taken as it is 200 ms later.
  std::vector<uint8_t> lone = unknownFrame(2981);
  lone.resize(1408);
  cap.udp(kHost, 8801, kController, 8800, lone, 100);
  cap.udp(kHost, 8801, kController, 8800, bytesOf(kStartPlay), 300);
  // A piece announcing 4 GiB is taken alone at once.
  std::vector<uint8_t> huge = lone;
  huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
  cap.udp(kHost, 9000, kController, 8800, huge, 400);
  cap.udp(kHost, 9000, kController, 8800, bytesOf(kStartPlay), 401);
  // Other ports are not the controller's.
  cap.udp(kHost, 8801, kController, 53, bytesOf(kStartPlay), 500);
  cap.close();

  Outcome r = decode({cap.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  // Each frame at the time its last piece came.
  const std::string h = "192.0.2.1:8801", h9 = "192.0.2.1:9000", c = "192.0.2.10:8800";
  std::string startLine = "udp  StartPlay(0x51)  [19 bytes, checks ok]\n";
  EXPECT_EQ(r.out, at(0, h, c) + "udp  " + kPage3Line + "\n" + at(1, c, h) + "udp  " + kAcceptLine + "\n" +
                       at(11, h, c) + "udp  unknown(0x7e) payload=" + elevens(1481) + "  [1500 bytes, checks ok]\n" +
                       at(100, h, c) + "udp  unknown(0x7e) payload=" + elevens(1389) +
                       "  [1408 bytes, checks FAILED: total length field 3000, frame has 1408 bytes; "
                       "payload length field 2981, payload has 1389 bytes; end mark 11 11, expected FF FF]\n" +
                       at(300, h, c) + startLine + at(400, h9, c) + "udp  unknown(0x7e) payload=" + elevens(1389) +
                       "  [1408 bytes, checks FAILED: total length field 4294967295, frame has 1408 bytes; "
                       "payload length field 2981, payload has 1389 bytes; end mark 11 11, expected FF FF]\n" +
                       at(401, h9, c) + startLine);
}

TEST(SimDecodeCapture, StreamsInBothDirectionsPutBackInOrder) {
  CaptureFile cap;
  ASSERT_TRUE(cap.ok());
  std::vector<uint8_t> bright = bytesOf(kBright);
  std::vector<uint8_t> head(bright.begin(), bright.begin() + 10), tail(bright.begin() + 10, bright.end());
  const uint32_t seq = 1000;
  cap.tcp(kHost, 40000, kController, 8900, seq, CaptureFile::SYN, {}, 0);
  cap.tcp(kController, 8900, kHost, 40000, 5000, CaptureFile::SYN | CaptureFile::ACK, {}, 1);
  cap.tcp(kHost, 40000, kController, 8900, seq + 1 + 10, CaptureFile::ACK, tail, 2);   // ahead of a gap
  cap.tcp(kHost, 40000, kController, 8900, seq + 1, CaptureFile::ACK, head, 3);        // fills it
  cap.tcp(kHost, 40000, kController, 8900, seq + 1, CaptureFile::ACK, head, 4);        // sent again
  cap.tcp(kController, 8900, kHost, 40000, 5001, CaptureFile::ACK, bytesOf(kAccept), 5);
  cap.tcp(kController, 8900, kHost, 40000, 5021, CaptureFile::ACK, bytesOfText("garbage"), 6);
  cap.tcp(kHost, 40000, kController, 8900, seq + 1 + 23, CaptureFile::FIN | CaptureFile::ACK, {}, 7);
  // A login connection: the host's server (port 5000) greets and sends.
  std::vector<uint8_t> greeting = bytesOf(
      "FE 5C 4B 89 2A 00 00 00 62 00 00 00 00 17 00 00 00 "
      "31 23 32 30 32 34 30 33 30 31 30 30 30 38 31 35 30 32 23 30 35 30 23 FF FF");
  cap.tcp(kHost, 5000, kController, 51000, 7000, CaptureFile::ACK, cat(greeting, bytesOf(kStartPlay)), 35);
  cap.tcp(kController, 51000, kHost, 5000, 9000, CaptureFile::ACK, bytesOf(kAccept), 41);
  cap.close();

  const std::string h = "192.0.2.1:40000", c = "192.0.2.10:8900", server = "192.0.2.1:5000",
                    dialled = "192.0.2.10:51000";
  const std::string tcpLines = at(3, h, c) + "tcp  " + kBrightLine + "\n" + at(5, c, h) + "tcp  " + kAcceptLine + "\n";
  const std::string loginLines = at(35, server, dialled) + "login  LoginGreeting(0x62) dateTime=\"2024030100081502\"  " +
                                 "[42 bytes, checks ok]\n" + at(35, server, dialled) +
                                 "login  StartPlay(0x51)  [19 bytes, checks ok]\n";
  // Bytes that start no frame (at 6) are reported after 30 quiet
  // milliseconds, as the live emulator does: after what comes at 35, before
  // what comes at 41; with the time they came.
  const std::string garbage = at(6, c, h) + "tcp  Reply unknown payload=67 61 72 62 61 67 65  "
                              "[7 bytes, checks FAILED: 7 bytes that are no reply]\n";
  Outcome with = decode({"--login-port", "5000", cap.path()});
  EXPECT_EQ(with.status, 0) << with.err;
  EXPECT_EQ(with.out, tcpLines + loginLines + garbage + at(41, dialled, server) + "login  " + kAcceptLine + "\n");
  Outcome without = decode({cap.path()});
  EXPECT_EQ(without.out, tcpLines + garbage);
}

TEST(SimDecodeCapture, LinkLayers) {
  for (int link : {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_NULL}) {
    SCOPED_TRACE(pcap_datalink_val_to_name(link));
    CaptureFile cap(link);
    ASSERT_TRUE(cap.ok());
    cap.udp(kHost, 8801, kController, 8800, bytesOf(kPlayPage3), 0);
    cap.close();
    Outcome r = decode({cap.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, at(0, "192.0.2.1:8801", "192.0.2.10:8800") + "udp  " + kPage3Line + "\n");
  }
  CaptureFile radio(DLT_IEEE802_11);
  radio.close();
  Outcome r = decode({radio.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("link type IEEE802_11 is not supported"), std::string::npos) << r.err;
}

// A trace of the library: replies with and without their delay, a bind
// that fell back to another port, attempts without reply, a refused call, a
// login link without its controller, and a serial line.
const std::string kTrace =
    "2026-12-07 23:28:22.123 thread 4711 udp 192.0.2.10:8800 from :43127\n"
    "  bind to :8801 failed (Address already in use); sending from :43127\n"
    "  attempt 1 of 2\n"
    "  > frame 1 of 1: 21 bytes\n"
    "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\n"
    "  < no reply (timed out after 100 ms)\n"
    "  attempt 2 of 2\n"
    "  > frame 1 of 1: 21 bytes\n"
    "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\n"
    "  < reply 20 bytes after 3 ms\n"
    "    FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 32 FF FF\n"
    "  = result 3: command 81 status \"2\" (refused)\n"
    "2026-12-07 23:28:22.300 thread 4711 refused: address \"10.0.0.300\" is not dotted IPv4\n"
    "2026-12-07 23:28:22.400 thread 4712 tcp 192.0.2.10:8900\n"
    "  attempt 1 of 1\n"
    "  > frame 1 of 2: 19 bytes\n"
    "    FE 5C 4B 89 13 00 00 00 51 00 00 00\n"
    "    00 00 00 00 00 FF FF\n"
    "  > frame 2 of 2: 20 bytes\n"
    "    FE 5C 4B 89 13 00 00 00 52 00 00 00 00 00 00 00 00 FF FF\n"
    "  < reply 4 bytes\n"
    "    FE 97 00 00\n"
    "  = result 1: no status byte\n"
    "2026-12-07 23:28:22.500 thread 4714 login 192.0.2.10\n"
    "  no controller logged in from 192.0.2.10; 2 logged in: 192.0.2.11, 192.0.2.12\n"
    "  = result 2: nothing sent\n"
    "2026-12-07 23:28:22.600 thread 4715 tcp 192.0.2.11:8900\n"
    "  attempt 1 of 1\n"
    "  > frame 1 of 1: 19 bytes\n"
    "    FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF\n"
    "  < no reply (the connection was closed)\n"
    "  = result 2: nothing received\n"
    "2026-12-07 23:28:23.001 thread 4713 serial COM1 9600 rs485\n"
    "  attempt 1 of 1\n"
    "  > frame 1 of 1: 18 bytes\n"
    "    FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3\n"
    "  < reply 7 bytes\n"
    "    FE 97 00 00 00 00 31\n"
    "  = result 0: reply FE 97 status \"1\" (accepted)\n";

const char kRecord1[] = "2026-12-07 23:28:22.123  ";
const char kRecord2[] = "2026-12-07 23:28:22.400  ";

TEST(SimDecodeTrace, FramesRepliesAndMissingRepliesOfEachRecord) {
  std::istringstream in(kTrace);
  std::vector<std::string> lines;
  decodeTrace(in, [&](const Decoded& d) { lines.push_back(d.text()); });
  const std::string sent = std::string(kRecord1) + ":43127 > 192.0.2.10:8800  udp  ";
  const std::string back = std::string(kRecord1) + "192.0.2.10:8800 > :43127  udp  ";
  std::vector<std::string> want = {
      sent + kPage3Line,
      back + "no reply (timed out after 100 ms)",
      sent + kPage3Line,
      back + "Reply(0x81) status=\"2\" meaning=refused  [20 bytes, checks ok]",
      std::string(kRecord2) + "? > 192.0.2.10:8900  tcp  StartPlay(0x51)  [19 bytes, checks ok]",
      std::string(kRecord2) +
          "? > 192.0.2.10:8900  tcp  StopPlay(0x52)  [19 bytes, checks FAILED: the trace announces 20 bytes and "
          "shows 19]",
      std::string(kRecord2) +
          "192.0.2.10:8900 > ?  tcp  Reply(0x97) serial payload=FE 97 00 00  [4 bytes, checks FAILED: serial reply "
          "of 4 bytes ends before its status byte]",
      "2026-12-07 23:28:22.500  192.0.2.10 > ?  login  no reply (no controller logged in from 192.0.2.10; 2 logged "
      "in: 192.0.2.11, 192.0.2.12)",
      "2026-12-07 23:28:22.600  ? > 192.0.2.11:8900  tcp  StartPlay(0x51)  [19 bytes, checks ok]",
      "2026-12-07 23:28:22.600  192.0.2.11:8900 > ?  tcp  no reply (the connection was closed)",
      "2026-12-07 23:28:23.001  ? > COM1  serial  PlayShowPage(0x36) rs485 address=00 00 00 00 00 00 00 05 page=1 "
      "pageCheck=ok  [18 bytes, checks ok]",
      "2026-12-07 23:28:23.001  COM1 > ?  serial  Reply(0x97) serial status=\"1\" meaning=accepted  [7 bytes, checks "
      "ok]",
  };
  EXPECT_EQ(lines, want);

  // Found by its first line, as a file or on standard input.
  EXPECT_EQ(inputKindOf("\n" + kTrace.substr(0, 60)), InputKind::Trace);
  EXPECT_EQ(inputKindOf("2026-12-07 23:28:22 thread 1 udp"), InputKind::Hex);  // no milliseconds
  EXPECT_EQ(inputKindOf(std::string("\xD4\xC3\xB2\xA1", 4)), InputKind::Capture);
  EXPECT_EQ(inputKindOf(std::string("\x0A\x0D\x0D\x0A", 4)), InputKind::Capture);
  EXPECT_EQ(inputKindOf(std::string("FE 5C\0", 6)), InputKind::Binary);
  // An excerpt without the record's first line: any frame layout, channel
  // "hex", neither time nor ends.
  Outcome excerpt = decode({"-"}, kTrace.substr(kTrace.find("  > frame 1 of 1: 18")));
  EXPECT_EQ(excerpt.out, "hex  " + want[10].substr(43) + "\nhex  " + want[11].substr(43) + "\n");

  // JSON: the time and both ends in front; a missing reply as an object of its own.
  Outcome r = decode({"--json", "-"}, kTrace.substr(0, kTrace.find("  attempt 2")));
  EXPECT_EQ(r.out,
            "{\"time\":\"2026-12-07 23:28:22.123\",\"src\":\":43127\",\"dst\":\"192.0.2.10:8800\","
            "\"channel\":\"udp\",\"kind\":\"net\",\"command\":\"0x66\",\"name\":\"PlayShowPage\",\"subCode\":0,"
            "\"length\":21,\"checks\":\"ok\",\"fields\":{\"page\":\"3\",\"pageCheck\":\"ok\"},"
            "\"raw\":\"FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\"}\n"
            "{\"time\":\"2026-12-07 23:28:22.123\",\"src\":\"192.0.2.10:8800\",\"dst\":\":43127\","
            "\"channel\":\"udp\",\"kind\":\"noReply\",\"name\":\"NoReply\",\"reason\":\"timed out after 100 ms\"}\n");
  Outcome hex = decode({"--json", "-"}, kStartPlay);
  EXPECT_EQ(hex.out.rfind("{\"time\":null,\"src\":null,\"dst\":null,\"channel\":\"hex\",\"kind\":\"net\",", 0), 0u)
      << hex.out;
}

TEST(SimDecodeTrace, FrameLinesMayNameTheCommand) {
  // The byte count is still read when the command's name follows it.
  const std::string trace =
      "2026-12-07 23:28:22.400 thread 4712 tcp 192.0.2.10:8900\n"
      "  attempt 1 of 1\n"
      "  > frame 1 of 2: 19 bytes StartPlay\n"
      "    FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF\n"
      "  > frame 2 of 2: 20 bytes StopPlay\n"
      "    FE 5C 4B 89 13 00 00 00 52 00 00 00 00 00 00 00 00 FF FF\n";
  std::istringstream in(trace);
  std::vector<std::string> lines;
  decodeTrace(in, [&](const Decoded& d) { lines.push_back(d.text()); });
  const std::vector<std::string> want = {
      std::string(kRecord2) + "? > 192.0.2.10:8900  tcp  StartPlay(0x51)  [19 bytes, checks ok]",
      std::string(kRecord2) +
          "? > 192.0.2.10:8900  tcp  StopPlay(0x52)  [19 bytes, checks FAILED: the trace announces 20 bytes and "
          "shows 19]"};
  EXPECT_EQ(lines, want);
  EXPECT_EQ(inputKindOf(trace.substr(trace.find("  > frame 2"))), InputKind::Trace);
}

TEST(SimDecodeTrace, FrameBlockBeyondAnyFrameIsCut) {
  // 5000 bytes of hex in lines of 32, as the library writes them.
  std::string trace = "2026-12-07 23:28:22.123 thread 4711 tcp 192.0.2.10:8900\n  > frame 1 of 1: 5000 bytes\n";
  for (int i = 0; i < 5000; ++i) trace += i % 32 == 0 ? (i ? "\n    11" : "    11") : " 11";
  trace += "\n";
  std::istringstream in(trace);
  std::vector<Frame> frames;
  decodeTrace(in, [&](const Decoded& d) { frames.push_back(d.frame); });
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw.size(), 4408u);
  EXPECT_EQ(frames[0].error,
            "does not start with FE 5C 4B 89; the trace shows 5000 bytes, more than a frame holds; those after the "
            "first 4408 are skipped");
}

TEST(SimDecodeHex, StandardInputSplitIntoFramesAndReplies) {
  struct Case {
    const char* what;
    const char* input;
    int status;
    const char* out;
    const char* errPart;
  } cases[] = {
      {"frames and replies, any separators",
       "# from the trace\n"
       "0xFE,0x5C,0x4B,0x89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\n"
       "FE5C4B89 14000000 81000000 00010000 0031FFFF\n"
       "FE:98:00:10:97:36:00:00:00:00:00:00:00:00:05:01:FE:D3  FE 00 00 00 00 00 4F\n"
       "00 01\n",
       0,
       "hex  PlayShowPage(0x66) page=3 pageCheck=ok  [21 bytes, checks ok]\n"
       "hex  Reply(0x81) status=\"1\" meaning=accepted  [20 bytes, checks ok]\n"
       "hex  PlayShowPage(0x36) rs485 address=00 00 00 00 00 00 00 05 page=1 pageCheck=ok  [18 bytes, checks ok]\n"
       "hex  Reply(0x00) serial status=\"O\" meaning=accepted  [7 bytes, checks ok]\n"
       "hex  unknown unknown payload=00 01  [2 bytes, checks FAILED: 2 bytes that start no frame]\n",
       ""},
      {"a frame cut short", "FE 5C 4B 89 15 00 00 00 66 00", 0,
       "hex  unknown(0x66)  [10 bytes, checks FAILED: frame of 10 bytes is shorter than the 19-byte minimum]\n",
       ""},
      {"not hex", "FE 5C\nFE 5G\n", 1, "hex  unknown unknown  [2 bytes, checks FAILED: bytes that start no known "
                                      "frame]\n",
       "-: line 2: \"5G\" is not hex bytes"},
      {"odd digits", "FE5", 1, "", "line 1: \"FE5\" is not hex bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome r = decode({"-"}, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
  }
}

TEST(SimDecodeReply, Layouts) {
  struct Case {
    const char* bytes;
    const char* line;
  } cases[] = {
      {"FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 33 FF FF",
       "Reply(0x81) status=\"3\" meaning=refused  [20 bytes, checks ok]"},
      {"FE 5C 4B 89 14 00 00 00 68 00 00 00 00 01 00 00 00 4F FF FF",
       "Reply(0x68) status=\"O\" meaning=accepted  [20 bytes, checks ok]"},
      {"FE 5C 4B 89 14 00 00 00 66 00 00 00 00 01 00 00 00 5A FF FF",
       "Reply(0x66) status=\"Z\" meaning=unknown  [20 bytes, checks ok]"},
      {"FE 5C 4B 89 13 00 00 00 81 00 00 00 00 00 00 00 00 FF FF",
       "Reply(0x81)  [19 bytes, checks FAILED: reply without a status byte]"},
      {"FE 97 00 00 00 00 00", "Reply(0x97) serial status=\"\\x00\" meaning=accepted  [7 bytes, checks ok]"},
      {"FE 36 00 00 00 00 00", "Reply(0x36) serial status=\"\\x00\" meaning=unknown  [7 bytes, checks ok]"},
      {"FE 97 00 00 00 00 32 00",
       "Reply(0x97) serial status=\"2\" meaning=refused extra=00  [8 bytes, checks FAILED: 1 unexpected bytes after "
       "the payload]"},
      {"", "Reply unknown  [0 bytes, checks FAILED: 0 bytes that are no reply]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::vector<uint8_t> b = bytesOf(c.bytes);
    Frame f = decodeReply(b.data(), b.size());
    f.channel = "udp";
    EXPECT_EQ(f.text(), std::string("udp  ") + c.line);
  }
}

TEST(SimDecodeCommand, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* errPart;
  } cases[] = {
      {{}, 2, "no file to decode"},
      {{"--frames", "x"}, 2, "unknown option --frames"},
      {{"--login-port", "0", "x"}, 2, "--login-port needs a port number"},
      {{"--udp-port"}, 2, "--udp-port needs a port number"},
      {{"--", "--json"}, 1, "cannot open --json"},
      {{"/nonexistent/capture.pcap"}, 1, "cannot open /nonexistent/capture.pcap: No such file or directory"},
  };
  for (const Case& c : cases) {
    Outcome r = decode(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
  }
  Outcome help = decode({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: vexa-sim decode [options] FILE...\n", 0), 0u);
  // Several files: each under its name; a missing one does not stop the rest.
  Outcome two = decode({"/nonexistent", "-"}, kStartPlay);
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(two.out, "== /nonexistent\n== -\nhex  StartPlay(0x51)  [19 bytes, checks ok]\n");
}

TEST(SimDecodeCommand, HostAndPortFilters) {
  CaptureFile cap;
  ASSERT_TRUE(cap.ok());
  cap.udp(kHost, 8801, kController, 8800, bytesOf(kPlayPage3), 0);
  cap.udp(kController, 8800, kHost, 8801, bytesOf(kAccept), 1);
  cap.udp(kHost, 9000, kOther, 8800, bytesOf(kStartPlay), 2);
  cap.close();
  const std::string page3 = at(0, "192.0.2.1:8801", "192.0.2.10:8800") + "udp  " + kPage3Line + "\n";
  const std::string accept = at(1, "192.0.2.10:8800", "192.0.2.1:8801") + "udp  " + kAcceptLine + "\n";
  const std::string start = at(2, "192.0.2.1:9000", "192.0.2.11:8800") + "udp  StartPlay(0x51)  [19 bytes, checks ok]\n";
  const std::string tcpRecord = "2026-12-07 23:28:22.600  ";
  struct Case {
    std::vector<std::string> filter;
    std::string capture;  // lines kept of the capture
    size_t traceLines;    // and of kTrace
    std::string traceFirst;
  } cases[] = {
      {{}, page3 + accept + start, 12, std::string(kRecord1) + ":43127 > 192.0.2.10:8800  udp  " + kPage3Line},
      {{"--host", "192.0.2.10"}, page3 + accept, 8, std::string(kRecord1) + ":43127 > 192.0.2.10:8800  udp  " +
                                                       kPage3Line},
      {{"--host", "192.0.2.11"}, start, 2, tcpRecord + "? > 192.0.2.11:8900  tcp  StartPlay(0x51)  [19 bytes, checks ok]"},
      {{"--host", "192.0.2.1"}, page3 + accept + start, 0, ""},
      {{"--port", "8801"}, page3 + accept, 0, ""},
      {{"--port", "43127"}, "", 4, std::string(kRecord1) + ":43127 > 192.0.2.10:8800  udp  " + kPage3Line},
      {{"--port", "8800"}, page3 + accept + start, 4, std::string(kRecord1) + ":43127 > 192.0.2.10:8800  udp  " +
                                                         kPage3Line},
      {{"--host", "192.0.2.11", "--port", "8801"}, "", 0, ""},
      {{"--host", "192.0.2.1", "--port", "9000"}, start, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.filter));
    std::vector<std::string> args = c.filter;
    args.push_back(cap.path());
    Outcome r = decode(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.capture);
    args.back() = "-";
    Outcome t = decode(args, kTrace);
    std::vector<std::string> lines;
    std::istringstream out(t.out);
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    EXPECT_EQ(lines.size(), c.traceLines) << t.out;
    if (!lines.empty()) {
      EXPECT_EQ(lines[0], c.traceFirst);
    }
  }
  for (const char* bad : {"192.0.2", "host.example", "192.0.2.256"}) {
    Outcome r = decode({"--host", bad, cap.path()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--host needs an IPv4 address"), std::string::npos) << r.err;
  }
  EXPECT_EQ(decode({"--port", "0", cap.path()}).status, 2);
}

TEST(SimDecodeText, GbkShownAsUtf8) {
  struct Case {
    const char* bytes;
    const char* shown;
  } cases[] = {
      {"C4 E3 BA C3", "\"\xE4\xBD\xA0\xE5\xA5\xBD\""},             // 你好
      {"41 A1 A1 42", "\"A\xE3\x80\x80" "B\""},                      // full-width space between letters
      {"C4 E3 C4", "\"\xE4\xBD\xA0\\xC4\""},                         // a lead byte at the end
      {"C4 20 41", "\"\\xC4 A\""},                                   // a lead byte before a space
      {"80 FF 41", "\"\\x80\\xFFA\""},                               // bytes that start no character
      {"D7 FA 20", "\"\\xD7\\xFA \""},                              // a pair GBK leaves empty
      {"22 5C 0D 7F", "\"\\\"\\\\\\x0D\\x7F\""},                     // escapes and control bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::vector<uint8_t> b = bytesOf(c.bytes);
    EXPECT_EQ(detail::shownText(b.data(), b.size()), c.shown);
  }

  // A coordinate text "你好", an undecodable byte and "A": the emulator's line
  // and its JSON show the characters.
  const char frame[] = "FE 5C 4B 89 22 00 00 00 60 00 00 00 00 0F 00 00 00 80 00 00 00 00 00 01 12 06 "
                       "C4 E3 BA C3 80 41 FF FF";
  const std::vector<uint8_t> b = bytesOf(frame);
  const Frame f = decodeNetworkFrame(b.data(), b.size());
  EXPECT_EQ(f.get("text"), "\"\\xC4\\xE3\\xBA\\xC3\\x80A\"");
  EXPECT_EQ(f.text(),
            "  CoordinateText(0x60) x=0 y=0 textStyle=1 attrHigh=1 attrLow=2 textLength=6 "
            "text=\"\xE4\xBD\xA0\xE5\xA5\xBD\\x80" "A\"  [34 bytes, checks ok]");
  EXPECT_NE(f.json().find(",\"text\":\"\\\"\xE4\xBD\xA0\xE5\xA5\xBD\\\\x80" "A\\\"\"}"), std::string::npos)
      << f.json();
  Outcome r = decode({"-"}, frame);
  EXPECT_EQ(r.out, "hex" + f.text() + "\n");

  // A text in a template block, whose fields the frame takes over.
  const std::vector<uint8_t> block = bytesOf(
      "FE 5C 4B 89 50 00 00 00 31 00 00 00 00 3D 00 00 00 "
      "30 30 30 30 30 30 30 30 31 2C 00 00 00 30 31 30 31 30 31 39 39 31 32 33 31 0E 00 00 00 "
      "55 AA 00 00 37 31 31 31 31 31 01 00 00 00 0E 00 00 00 C4 E3 BA C3 FF 00 01 00 01 00 01 00 00 00 FF FF");
  const Frame t = decodeNetworkFrame(block.data(), block.size());
  EXPECT_EQ(t.get("text"), "\"\\xC4\\xE3\\xBA\\xC3\"");
  EXPECT_NE(t.text().find(" text=\"\xE4\xBD\xA0\xE5\xA5\xBD\" "), std::string::npos) << t.text();
}

TEST(SimDecodeCommand, WhatIsNoInputIsAnError) {
  char dir[] = "/tmp/vexa-decode-dir-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  struct Case {
    std::string path;
    const char* errPart;
  } cases[] = {
      {dir, ": is a directory"},
      {"/dev/zero", ": neither a pcap or pcapng capture nor text (it holds NUL bytes)"},
  };
  for (const Case& c : cases) {
    Outcome r = decode({c.path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("vexa-sim decode: " + c.path + c.errPart), std::string::npos) << r.err;
  }
  Outcome binary = decode({"-"}, std::string("FE 5C\0\0", 7));
  EXPECT_EQ(binary.status, 1);
  EXPECT_NE(binary.err.find("-: neither a pcap"), std::string::npos) << binary.err;
  ::rmdir(dir);
}

TEST(SimDecodeCapture, ConnectionsEndedAndOpenedAgainOnTheSamePorts) {
  CaptureFile cap;
  ASSERT_TRUE(cap.ok());
  const std::vector<uint8_t> page3 = bytesOf(kPlayPage3), start = bytesOf(kStartPlay);
  const std::vector<uint8_t> head(page3.begin(), page3.begin() + 10);
  // A frame cut short by the end of its connection, then the same ports again
  // after a FIN, after a reset from the other side, and after a SYN alone.
  cap.tcp(kHost, 40000, kController, 8900, 100, CaptureFile::SYN, {}, 0);
  cap.tcp(kHost, 40000, kController, 8900, 101, CaptureFile::ACK, head, 1);
  cap.tcp(kHost, 40000, kController, 8900, 111, CaptureFile::FIN | CaptureFile::ACK, {}, 2);
  cap.tcp(kHost, 40000, kController, 8900, 7000, CaptureFile::SYN, {}, 3);
  cap.tcp(kHost, 40000, kController, 8900, 7001, CaptureFile::ACK, page3, 4);
  cap.tcp(kHost, 40000, kController, 8900, 7022, CaptureFile::ACK, head, 5);
  cap.tcp(kController, 8900, kHost, 40000, 9000, CaptureFile::ACK | 0x04, {}, 6);  // reset
  cap.tcp(kHost, 40000, kController, 8900, 100, CaptureFile::SYN, {}, 7);
  cap.tcp(kHost, 40000, kController, 8900, 101, CaptureFile::ACK, head, 8);
  cap.tcp(kHost, 40000, kController, 8900, 100, CaptureFile::SYN, {}, 9);
  cap.tcp(kHost, 40000, kController, 8900, 101, CaptureFile::ACK, start, 10);
  // A segment lost: what follows it is still decoded when the connection ends.
  cap.tcp(kHost, 40001, kController, 8900, 500, CaptureFile::SYN, {}, 11);
  cap.tcp(kHost, 40001, kController, 8900, 501 + 19, CaptureFile::ACK, page3, 12);
  cap.tcp(kHost, 40001, kController, 8900, 501 + 40, CaptureFile::FIN | CaptureFile::ACK, {}, 13);
  cap.close();
  const std::string c = "192.0.2.10:8900", h0 = "192.0.2.1:40000", h1 = "192.0.2.1:40001";
  const std::string cut = "tcp  unknown(0x66)  [10 bytes, checks FAILED: frame of 10 bytes is shorter than the "
                          "19-byte minimum]\n";
  Outcome r = decode({cap.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, at(1, h0, c) + cut + at(4, h0, c) + "tcp  " + kPage3Line + "\n" + at(5, h0, c) + cut +
                       at(8, h0, c) + cut + at(10, h0, c) + "tcp  StartPlay(0x51)  [19 bytes, checks ok]\n" +
                       at(12, h1, c) + "tcp  " + kPage3Line + "\n");
}
