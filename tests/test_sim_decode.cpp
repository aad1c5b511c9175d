// vexa-sim decode: frames found in captures written with libpcap's own dump
// functions, in hand-written traces and in hex text, printed in the live
// emulator's lines.
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Decode.h"
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
  std::string startLine = "udp  StartPlay(0x51)  [19 bytes, checks ok]\n";
  EXPECT_EQ(r.out, std::string("udp  ") + kPage3Line + "\n" + "udp  " + kAcceptLine + "\n" +
                       "udp  unknown(0x7e) payload=" + elevens(1481) + "  [1500 bytes, checks ok]\n" +
                       "udp  unknown(0x7e) payload=" + elevens(1389) +
                       "  [1408 bytes, checks FAILED: total length field 3000, frame has 1408 bytes; "
                       "payload length field 2981, payload has 1389 bytes; end mark 11 11, expected FF FF]\n" +
                       startLine + "udp  unknown(0x7e) payload=" + elevens(1389) +
                       "  [1408 bytes, checks FAILED: total length field 4294967295, frame has 1408 bytes; "
                       "payload length field 2981, payload has 1389 bytes; end mark 11 11, expected FF FF]\n" +
                       startLine);
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

  const std::string tcpLines = std::string("tcp  ") + kBrightLine + "\ntcp  " + kAcceptLine + "\n";
  const std::string loginLines = std::string("login  LoginGreeting(0x62) dateTime=\"2024030100081502\"  ") +
                                 "[42 bytes, checks ok]\nlogin  StartPlay(0x51)  [19 bytes, checks ok]\n";
  // Bytes that start no frame (at 6) are reported after 30 quiet
  // milliseconds, as the live emulator does: after what comes at 35, before
  // what comes at 41.
  const std::string garbage = "tcp  Reply unknown payload=67 61 72 62 61 67 65  "
                              "[7 bytes, checks FAILED: 7 bytes that are no reply]\n";
  Outcome with = decode({"--login-port", "5000", cap.path()});
  EXPECT_EQ(with.status, 0) << with.err;
  EXPECT_EQ(with.out, tcpLines + loginLines + garbage + "login  " + kAcceptLine + "\n");
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
    EXPECT_EQ(r.out, std::string("udp  ") + kPage3Line + "\n");
  }
  CaptureFile radio(DLT_IEEE802_11);
  radio.close();
  Outcome r = decode({radio.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("link type IEEE802_11 is not supported"), std::string::npos) << r.err;
}

TEST(SimDecodeTrace, FramesAndRepliesOfEachRecord) {
  const std::string trace =
      "2026-12-07 23:28:22.123 thread 4711 udp 192.0.2.10:8800 from :8801\n"
      "  attempt 1 of 2\n"
      "  > frame 1 of 1: 21 bytes\n"
      "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\n"
      "  < no reply (timed out after 100 ms)\n"
      "  attempt 2 of 2\n"
      "  > frame 1 of 1: 21 bytes\n"
      "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\n"
      "  < reply 20 bytes\n"
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
      "2026-12-07 23:28:23.001 thread 4713 serial COM1 9600 rs485\n"
      "  attempt 1 of 1\n"
      "  > frame 1 of 1: 18 bytes\n"
      "    FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3\n"
      "  < reply 7 bytes\n"
      "    FE 97 00 00 00 00 31\n"
      "  = result 0: reply FE 97 status \"1\" (accepted)\n";
  std::istringstream in(trace);
  std::vector<std::string> lines;
  decodeTrace(in, [&](const Frame& f) { lines.push_back(f.text()); });
  std::vector<std::string> want = {
      std::string("udp  ") + kPage3Line,
      std::string("udp  ") + kPage3Line,
      "udp  Reply(0x81) status=\"2\" meaning=refused  [20 bytes, checks ok]",
      "tcp  StartPlay(0x51)  [19 bytes, checks ok]",
      "tcp  StopPlay(0x52)  [19 bytes, checks FAILED: the trace announces 20 bytes and shows 19]",
      "tcp  Reply(0x97) serial payload=FE 97 00 00  [4 bytes, checks FAILED: serial reply of 4 bytes ends before "
      "its status byte]",
      "serial  PlayShowPage(0x36) rs485 address=00 00 00 00 00 00 00 05 page=1 pageCheck=ok  [18 bytes, checks ok]",
      "serial  Reply(0x97) serial status=\"1\" meaning=accepted  [7 bytes, checks ok]",
  };
  EXPECT_EQ(lines, want);

  // Found by its first line, as a file or on standard input.
  EXPECT_EQ(inputKindOf("\n" + trace.substr(0, 60)), InputKind::Trace);
  EXPECT_EQ(inputKindOf("2026-12-07 23:28:22 thread 1 udp"), InputKind::Hex);  // no milliseconds
  EXPECT_EQ(inputKindOf(std::string("\xD4\xC3\xB2\xA1", 4)), InputKind::Capture);
  // An excerpt without the record's first line: any frame layout, channel "hex".
  Outcome excerpt = decode({"-"}, trace.substr(trace.find("  > frame 1 of 1: 18")));
  EXPECT_EQ(excerpt.out, "hex  " + want[6].substr(8) + "\nhex  " + want[7].substr(8) + "\n");
  EXPECT_EQ(inputKindOf(std::string("\x0A\x0D\x0D\x0A", 4)), InputKind::Capture);
  Outcome r = decode({"--json", "-"}, trace.substr(0, trace.find("  < no reply")));
  EXPECT_EQ(r.out,
            "{\"channel\":\"udp\",\"kind\":\"net\",\"command\":\"0x66\",\"name\":\"PlayShowPage\",\"subCode\":0,"
            "\"length\":21,\"checks\":\"ok\",\"fields\":{\"page\":\"3\",\"pageCheck\":\"ok\"},"
            "\"raw\":\"FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\"}\n");
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
