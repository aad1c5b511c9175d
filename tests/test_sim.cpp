// The controller emulator on its own, fed with hand-made bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "Reassembly.h"
#include "SimFixture.h"
#include "StreamServer.h"
#include "VexaSim.h"

using namespace vexasim;

namespace {

const char kStartPlay[] = "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF";
const char kPlayPage3[] = "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF";
const char kRs485Page1[] = "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3";
const char kVoiceAB[] = "FE 03 00 07 99 73 41 42 ED";
const char kAcceptReply[] = "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 31 FF FF";

Frame decodeHex(const char* text) {
  std::vector<uint8_t> b = bytesOf(text);
  return decodeNetworkFrame(b.data(), b.size());
}

std::string fieldsOf(const Frame& f) {
  std::string s;
  for (const Field& x : f.fields) s += (s.empty() ? "" : " ") + x.name + "=" + x.value();
  return s;
}

// Reads what arrives on fd within waitMs (all of it, until a quiet gap).
std::vector<uint8_t> readSome(int fd, int waitMs) {
  std::vector<uint8_t> got;
  uint8_t buf[2048];
  pollfd pf{fd, POLLIN, 0};
  while (::poll(&pf, 1, got.empty() ? waitMs : 50) > 0) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

sockaddr_in endpoint(const std::string& addr, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  ::inet_pton(AF_INET, addr.c_str(), &a.sin_addr);
  return a;
}

int localPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A network frame around payload, built by hand for the transport tests.
std::vector<uint8_t> netFrame(uint8_t code, const std::vector<uint8_t>& payload) {
  uint32_t total = uint32_t(payload.size() + 19), n = uint32_t(payload.size());
  std::vector<uint8_t> f = {0xFE, 0x5C, 0x4B, 0x89, uint8_t(total), uint8_t(total >> 8), uint8_t(total >> 16),
                            uint8_t(total >> 24), code, 0, 0, 0, 0, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16),
                            uint8_t(n >> 24)};
  f.reserve(f.size() + payload.size() + 2);
  for (uint8_t b : payload) f.push_back(b);
  f.push_back(0xFF);
  f.push_back(0xFF);
  return f;
}

struct Sock {
  int fd;
  explicit Sock(int descriptor) : fd(descriptor) {}
  ~Sock() {
    if (fd >= 0) ::close(fd);
  }
};
int udpSocket() { return ::socket(AF_INET, SOCK_DGRAM, 0); }
int tcpSocket() { return ::socket(AF_INET, SOCK_STREAM, 0); }

class EmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(emu.start(&err)) << err;
  }
  Emulator emu{TestOptions()};
};

}  // namespace

// ---- decoding ------------------------------------------------------------------

TEST(SimDecode, NetworkFramesOfThePlayFamily) {
  struct Case {
    const char* bytes;
    const char* name;
    int command;
    const char* fields;
  } cases[] = {
      {kStartPlay, "StartPlay", 0x51, ""},
      {"FE 5C 4B 89 13 00 00 00 52 00 00 00 00 00 00 00 00 FF FF", "StopPlay", 0x52, ""},
      {kPlayPage3, "PlayShowPage", 0x66, "page=3 pageCheck=ok"},
      {"FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF", "SetBright", 0x76,
       "value1=10 value1Check=ok value2=1 value2Check=ok"},
      {"FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 "
       "FF 00 FF 00 FC 03 FF 00 FF 00 FF 00 FF 00 FF 00 FF FF",
       "Relay", 0x61,
       "relay1=no change relay1Check=ok relay2=no change relay2Check=ok relay3=on relay3Check=ok "
       "relay4=no change relay4Check=ok relay5=no change relay5Check=ok relay6=no change relay6Check=ok "
       "relay7=no change relay7Check=ok relay8=no change relay8Check=ok"},
      {"FE 5C 4B 89 15 00 00 00 7E 00 00 00 00 02 00 00 00 01 02 FF FF", "unknown", 0x7E, "payload=01 02"},
  };
  for (const Case& c : cases) {
    Frame f = decodeHex(c.bytes);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.kind, "net");
    EXPECT_EQ(f.name, c.name);
    EXPECT_EQ(f.command, c.command);
    EXPECT_TRUE(f.checksOk) << f.error;
    EXPECT_EQ(fieldsOf(f), c.fields);
  }
}

TEST(SimDecode, FieldsKeepTheirTypedValues) {
  // What the virtual sign reads: numbers, the bytes of texts and of hex
  // fields, and the number a word stands for, apart from how they print.
  struct Case {
    const char* what;
    std::vector<uint8_t> frame;
    const char* field;
    FieldType type;
    std::string bytes;       // Frame::bytes()
    long long number;        // Frame::number(), -1 for none
    const char* printed;     // Frame::get()
  } cases[] = {
      {"collected-data index", netFrame(0x65, {0x07, 0x00, 0x33, 0x20, 0x02, 'A', 0xD6}), "dataIndex",
       FieldType::Number, "", 7, "7"},
      {"collected-data text", netFrame(0x65, {0x07, 0x00, 0x33, 0x20, 0x02, 'A', 0xD6}), "text", FieldType::Text,
       "A\xD6", -1, "\"A\\xD6\""},
      {"clock as text", netFrame(0x63, bytesOfText("1#2024030100081502#")), "dateTime", FieldType::Text,
       "2024030100081502", 20240301081502, "\"2024030100081502\""},
      {"clock as bytes", netFrame(0x63, {24, 3, 1, 0, 8, 15, 2}), "dateTime", FieldType::Word,
       "2024-03-01 08:15:02", 20240301081502, "2024-03-01 08:15:02"},
      {"relay pulse", netFrame(0x61, {0xFF, 0x00, 0xFF, 0x00, 0xB2, 0x4D, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF,
                                      0x00, 0xFF, 0x00}),
       "relay3", FieldType::Word, "pulse 3", 0xB2, "pulse 3"},
      {"bus address", bytesOf(kRs485Page1), "address", FieldType::Bytes, std::string("\0\0\0\0\0\0\0\x05", 8),
       -1, "00 00 00 00 00 00 00 05"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Frame f = decodeSerialFrame(c.frame.data(), c.frame.size());
    EXPECT_TRUE(f.checksOk) << f.error;
    const Field* x = f.field(c.field);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->type, c.type);
    EXPECT_EQ(f.bytes(c.field), c.bytes);
    EXPECT_EQ(f.number(c.field, -1), c.number);
    EXPECT_EQ(f.get(c.field), c.printed);
  }
}

TEST(SimDecode, RelayCodesAreNamed) {
  // slot 1 pulse 5 (B4), slot 2 off (FD), slot 8 pulse 16 (BF), others no change
  Frame f = decodeHex("FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 "
                      "B4 4B FD 02 FF 00 FF 00 FF 00 FF 00 FF 00 BF 40 FF FF");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.get("relay1"), "pulse 5");
  EXPECT_EQ(f.get("relay2"), "off");
  EXPECT_EQ(f.get("relay8"), "pulse 16");
}

TEST(SimDecode, FaultsAreFlagged) {
  struct Case {
    const char* what;
    const char* bytes;
    const char* errorPart;
  } cases[] = {
      {"end mark", "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FE", "end mark FF FE"},
      {"total length", "FE 5C 4B 89 14 00 00 00 51 00 00 00 00 00 00 00 00 FF FF", "total length field 20"},
      {"payload length", "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 03 00 00 00 03 FC FF FF",
       "payload length field 3"},
      {"page complement", "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FB FF FF", "not the complement"},
      {"relay complement", "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 "
                           "FC 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF FF", "not the complement"},
      {"short payload", "FE 5C 4B 89 14 00 00 00 76 00 00 00 00 01 00 00 00 0A FF FF", "expected 4"},
      {"payload on start", "FE 5C 4B 89 14 00 00 00 51 00 00 00 00 01 00 00 00 00 FF FF", "unexpected bytes"},
      {"short frame", "FE 5C 4B 89 13 00 00 00 51 00", "shorter than"},
      {"no magic", "FE 5C 4B 88 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF", "FE 5C 4B 89"},
  };
  for (const Case& c : cases) {
    Frame f = decodeHex(c.bytes);
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(f.checksOk);
    EXPECT_NE(f.error.find(c.errorPart), std::string::npos) << f.error;
  }
}

TEST(SimDecode, JsonAndTextLines) {
  Frame f = decodeHex(kPlayPage3);
  f.channel = "udp";
  EXPECT_EQ(f.json(),
            "{\"channel\":\"udp\",\"kind\":\"net\",\"command\":\"0x66\",\"name\":\"PlayShowPage\",\"subCode\":0,"
            "\"length\":21,\"checks\":\"ok\",\"fields\":{\"page\":\"3\",\"pageCheck\":\"ok\"},"
            "\"raw\":\"FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF\"}");
  EXPECT_EQ(f.text(), "udp  PlayShowPage(0x66) page=3 pageCheck=ok  [21 bytes, checks ok]");

  Frame g;
  g.channel = "tcp";
  g.fields.push_back(Field{"text", FieldType::Text, "a\"b", std::nullopt});  // the text a"b, quoted
  g.error = "tab\there";
  EXPECT_EQ(g.json(),
            "{\"channel\":\"tcp\",\"kind\":\"\",\"command\":null,\"name\":\"unknown\",\"subCode\":0,\"length\":0,"
            "\"checks\":\"ok\",\"error\":\"tab\\there\",\"fields\":{\"text\":\"\\\"a\\\\\\\"b\\\"\"},\"raw\":\"\"}");
}

TEST(SimDecode, LoginGreeting) {
  std::vector<uint8_t> g = netFrame(0x62, bytesOfText("1#2024030100081502#050#"));
  Frame f = decodeNetworkFrame(g.data(), g.size());
  EXPECT_EQ(g.size(), 42u);
  EXPECT_EQ(f.name, "LoginGreeting");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.get("dateTime"), "\"2024030100081502\"");
}

// ---- serial line -----------------------------------------------------------------

TEST(SimSerial, SplitsAStreamIntoItsFrames) {
  std::vector<uint8_t> s = bytesOf(kRs485Page1);
  std::vector<uint8_t> v = bytesOf(kVoiceAB);
  s.insert(s.end(), v.begin(), v.end());
  EXPECT_EQ(completeFrameLength(s.data(), s.size(), true), 18);
  EXPECT_EQ(completeFrameLength(s.data() + 18, 9, true), 9);
  EXPECT_EQ(completeFrameLength(s.data(), 17, true), 0);     // one byte short
  EXPECT_EQ(completeFrameLength(s.data(), 3, true), 0);      // length not yet known
  EXPECT_EQ(completeFrameLength(s.data() + 1, 17, true), -1);  // 98 starts nothing
  EXPECT_EQ(completeFrameLength(s.data(), s.size(), false), -1);  // a stream carries network frames only
  std::vector<uint8_t> n = bytesOf(kPlayPage3);
  EXPECT_EQ(completeFrameLength(n.data(), n.size(), true), 21);
  EXPECT_EQ(completeFrameLength(n.data(), 20, false), 0);
  EXPECT_EQ(completeFrameLength(n.data(), 7, false), 0);

  Frame a = decodeSerialFrame(s.data(), 18);
  EXPECT_EQ(a.kind, "rs485");
  EXPECT_EQ(a.command, 0x36);
  EXPECT_EQ(a.name, "PlayShowPage");
  EXPECT_TRUE(a.checksOk) << a.error;
  EXPECT_EQ(fieldsOf(a), "address=00 00 00 00 00 00 00 05 page=1 pageCheck=ok");

  // 41 42 is no voice record, which the payload decoder may flag; the frame
  // layer (length field and XOR byte) must find nothing wrong.
  Frame b = decodeSerialFrame(s.data() + 18, 9);
  EXPECT_EQ(b.kind, "voice485");
  EXPECT_EQ(b.command, 0x73);
  EXPECT_EQ(b.error.find("XOR"), std::string::npos) << b.error;
  EXPECT_EQ(b.error.find("does not fit"), std::string::npos) << b.error;
  EXPECT_EQ(b.get("address"), "3");
  EXPECT_EQ(hex(b.payload), "41 42");
}

// Faults that the frame layer reports (length field, XOR, CRC, fixed bytes);
// what a payload decoder thinks of a payload is not judged here.
bool frameLayerOk(const Frame& f) {
  for (const char* part :
       {"does not fit", "XOR byte", "CRC ", "byte 6 is", "option block", "no known frame", "minimum"})
    if (f.error.find(part) != std::string::npos) return false;
  return true;
}

TEST(SimSerial, ChecksAndKinds) {
  struct Case {
    const char* what;
    const char* bytes;
    const char* kind;
    bool ok;  // frame layer
    const char* errorPart;
  } cases[] = {
      {"rs485 bad xor", "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D4", "rs485", false, "XOR byte D4"},
      {"voice bad xor", "FE 03 00 07 99 73 41 42 EC", "voice485", false, "expected ED"},
      {"rs485 bad length", "FE 98 00 11 97 36 00 00 00 00 00 00 00 00 05 01 FE D2", "rs485", false, "length field 17"},
      {"options and crc", "FE 98 00 14 97 54 00 00 00 00 00 00 00 00 05 01 01 01 41 0E C2 C6", "rs485", true, ""},
      {"bad crc", "FE 98 00 14 97 54 00 00 00 00 00 00 00 00 05 01 01 01 41 0E C3 C7", "rs485", false, "CRC 0E C3"},
      {"bar content at address 98",
       "FE 98 00 25 97 49 FF 55 AA 00 81 02 01 FF FF 00 01 00 00 01 00 00 00 00 00 00 00 00 00 00 "
       "41 01 42 01 20 01 20 01 E2",
       "bar", true, ""},
      {"bar bad xor", "FE 01 00 11 97 48 06 07 02 03 00 00 55 05 55 00 00 00 CB", "bar", false, "XOR byte CB"},
      {"network frame", kPlayPage3, "net", true, ""},
      {"no frame", "FE 01 00 05 55 48 19", "unknown", false, "no known frame"},
      {"voice frame cut after its code", "FE 01 00 05 99 73", "voice485", false, "shorter than"},
      {"bar frame cut after its kind", "FE 01 00 11 97 48", "bar", false, "shorter than"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = bytesOf(c.bytes);
    Frame f = decodeSerialFrame(b.data(), b.size());
    SCOPED_TRACE(c.what);
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(frameLayerOk(f), c.ok) << f.error;
    if (!c.ok) {
      EXPECT_FALSE(f.checksOk);
    }
    EXPECT_NE(f.error.find(c.errorPart), std::string::npos) << f.error;
  }
  std::vector<uint8_t> t = bytesOf("FE 98 00 14 97 54 00 00 00 00 00 00 00 00 05 01 01 01 41 0E C2 C6");
  Frame f = decodeSerialFrame(t.data(), t.size());
  EXPECT_EQ(f.get("options"), "01 01 01");
  EXPECT_EQ(f.get("crc"), "ok");
  EXPECT_EQ(hex(f.payload), "41");
}

// ---- replies -----------------------------------------------------------------------

TEST(SimReplies, EachModeAndKind) {
  auto frame = [](const char* kind, int command) {
    Frame f;
    f.kind = kind;
    f.command = command;
    return f;
  };
  struct Case {
    const char* kind;
    int command;
    ReplyMode mode;
    const char* reply;
  } cases[] = {
      {"net", 0x66, ReplyMode::Accept, kAcceptReply},
      {"net", 0x66, ReplyMode::Delay, kAcceptReply},
      {"net", 0x66, ReplyMode::Refuse2, "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 32 FF FF"},
      {"net", 0x66, ReplyMode::Refuse3, "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 33 FF FF"},
      {"net", 0x66, ReplyMode::Echo, "FE 5C 4B 89 14 00 00 00 66 00 00 00 00 01 00 00 00 31 FF FF"},
      {"net", 0x66, ReplyMode::Silent, ""},
      {"net", 0x66, ReplyMode::Malformed, "67 61 72 62 61 67 65"},
      {"net", 0x31, ReplyMode::Accept, "FE 5C 4B 89 14 00 00 00 31 00 00 00 00 01 00 00 00 31 FF FF"},
      {"net", 0x68, ReplyMode::Accept, "FE 5C 4B 89 14 00 00 00 68 00 00 00 00 01 00 00 00 4F FF FF"},
      {"net", 0x68, ReplyMode::Refuse2, "FE 5C 4B 89 14 00 00 00 68 00 00 00 00 01 00 00 00 32 FF FF"},
      {"net", 0x6C, ReplyMode::Accept, "FE 5C 4B 89 14 00 00 00 6C 00 00 00 00 01 00 00 00 31 FF FF"},
      {"net", 0x78, ReplyMode::Refuse3, "FE 5C 4B 89 14 00 00 00 78 00 00 00 00 01 00 00 00 33 FF FF"},
      {"rs485", 0x36, ReplyMode::Accept, "FE 97 00 00 00 00 31"},
      {"rs485", 0x36, ReplyMode::Refuse2, "FE 97 00 00 00 00 32"},
      {"rs485", 0x36, ReplyMode::Echo, "FE 36 00 00 00 00 31"},
      {"voice485", 0x73, ReplyMode::Accept, "FE 00 00 00 00 00 4F"},
      {"voice485", 0x73, ReplyMode::Refuse3, "FE 00 00 00 00 00 33"},
      {"bar", 0x49, ReplyMode::Accept, "FE 97 00 00 00 00 31"},
      {"unknown", -1, ReplyMode::Accept, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.command) + " mode " + std::to_string(int(c.mode)));
    EXPECT_EQ(hex(replyFor(frame(c.kind, c.command), c.mode)), c.reply);
  }
}

TEST(SimReplies, ModeNames) {
  ReplyMode m = ReplyMode::Accept;
  int ms = 0;
  EXPECT_TRUE(parseReplyMode("delay:250", m, ms));
  EXPECT_EQ(m, ReplyMode::Delay);
  EXPECT_EQ(ms, 250);
  EXPECT_TRUE(parseReplyMode("refuse3", m, ms));
  EXPECT_EQ(m, ReplyMode::Refuse3);
  EXPECT_FALSE(parseReplyMode("delay:", m, ms));
  EXPECT_FALSE(parseReplyMode("delay:-5", m, ms));
  EXPECT_FALSE(parseReplyMode("refuse", m, ms));
}

// ---- transports ----------------------------------------------------------------------

TEST_F(EmulatorTest, ReassemblesADatagramFrameFromItsPieces) {
  std::vector<uint8_t> payload(2981);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
  std::vector<uint8_t> frame = netFrame(0x7E, payload);
  ASSERT_EQ(frame.size(), 3000u);
  Sock s(udpSocket());
  sockaddr_in from = endpoint(TestAddress(), 0);
  ASSERT_EQ(::bind(s.fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  sockaddr_in to = endpoint(TestAddress(), emu.options().udpPort);
  for (size_t off : {0, 1408, 2816}) {
    size_t len = off == 2816 ? 184 : 1408;
    ASSERT_EQ(::sendto(s.fd, frame.data() + off, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), ssize_t(len));
  }
  // A frame of exactly one full datagram is complete by itself.
  std::vector<uint8_t> full = netFrame(0x7E, std::vector<uint8_t>(1408 - 19, 0x11));
  ASSERT_EQ(::sendto(s.fd, full.data(), full.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 1408);

  ASSERT_TRUE(emu.waitForFrames(2, 2000));
  std::vector<Frame> frames = emu.frames();
  EXPECT_EQ(frames[0].channel, "udp");
  EXPECT_EQ(frames[0].raw, frame);
  EXPECT_TRUE(frames[0].checksOk) << frames[0].error;
  EXPECT_EQ(frames[1].raw.size(), 1408u);
  std::vector<Datagram> d = emu.datagrams();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[2].bytes.size(), 184u);
  EXPECT_EQ(d[0].srcAddr, TestAddress());
  EXPECT_EQ(d[0].srcPort, localPort(s.fd));
  EXPECT_EQ(hex(readSome(s.fd, 1000)), std::string(kAcceptReply) + " " + kAcceptReply);
}

TEST_F(EmulatorTest, StreamWaitsForTheFrameThenAnswers) {
  emu.setReplyMode(ReplyMode::Refuse3);
  Sock s(tcpSocket());
  sockaddr_in to = endpoint(TestAddress(), emu.options().tcpPort);
  ASSERT_EQ(::connect(s.fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  EXPECT_TRUE(readSome(s.fd, 150).empty());  // a controller never speaks first
  // Junk, then a frame sent in two pieces.
  std::vector<uint8_t> f = bytesOf(std::string("00 01 ") + kPlayPage3);
  ASSERT_EQ(::send(s.fd, f.data(), 10, 0), 10);
  ASSERT_EQ(::send(s.fd, f.data() + 10, f.size() - 10, 0), ssize_t(f.size() - 10));
  EXPECT_EQ(hex(readSome(s.fd, 1000)), "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 33 FF FF");
  ASSERT_TRUE(emu.waitForFrames(2, 1000));
  std::vector<Frame> frames = emu.frames();
  EXPECT_EQ(frames[0].kind, "unknown");
  EXPECT_EQ(hex(frames[0].raw), "00 01");
  EXPECT_EQ(frames[1].channel, "tcp");
  EXPECT_EQ(frames[1].get("page"), "3");
}

TEST_F(EmulatorTest, StreamFrameShortOfItsLengthFieldIsTakenWhenTheLineGoesQuiet) {
  Sock s(tcpSocket());
  sockaddr_in to = endpoint(TestAddress(), emu.options().tcpPort);
  ASSERT_EQ(::connect(s.fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  // Length field 0x14 (20) on a 19-byte frame.
  std::vector<uint8_t> f = bytesOf("FE 5C 4B 89 14 00 00 00 51 00 00 00 00 00 00 00 00 FF FF");
  ASSERT_EQ(::send(s.fd, f.data(), f.size(), 0), ssize_t(f.size()));
  EXPECT_EQ(hex(readSome(s.fd, 1000)), kAcceptReply);
  ASSERT_TRUE(emu.waitForFrames(1, 1000));
  EXPECT_FALSE(emu.frames()[0].checksOk);
  EXPECT_EQ(emu.frames()[0].name, "StartPlay");
}

TEST_F(EmulatorTest, OverrideAndDelay) {
  Sock s(udpSocket());
  sockaddr_in to = endpoint(TestAddress(), emu.options().udpPort);
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  emu.setReplyOverride([](const Frame& fr) -> std::optional<std::vector<uint8_t>> {
    if (fr.name == "StartPlay") return bytesOf("01 02 03");
    return std::nullopt;
  });
  ::sendto(s.fd, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  EXPECT_EQ(hex(readSome(s.fd, 1000)), "01 02 03");

  emu.setReplyOverride(nullptr);
  emu.setReplyMode(ReplyMode::Delay, 120);
  auto t0 = std::chrono::steady_clock::now();
  ::sendto(s.fd, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  EXPECT_EQ(hex(readSome(s.fd, 2000)), kAcceptReply);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(120));
}

TEST(SimSerialLine, AnswersEachFrameOnThePseudoTerminal) {
  Emulator emu(TestOptions());
  std::string path = emu.openSerial();
  ASSERT_FALSE(path.empty());
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> line = bytesOf(std::string(kRs485Page1) + " " + kVoiceAB);
  ASSERT_EQ(::write(fd, line.data(), line.size()), ssize_t(line.size()));
  EXPECT_EQ(hex(readSome(fd, 1000)), "FE 97 00 00 00 00 31 FE 00 00 00 00 00 4F");
  ASSERT_TRUE(emu.waitForFrames(2, 1000));
  EXPECT_EQ(emu.serialBytes(), line);
  EXPECT_EQ(emu.frames()[0].channel, "serial");
  EXPECT_EQ(emu.frames()[1].kind, "voice485");

  // A corrupted check byte is recorded as such (and still answered).
  std::vector<uint8_t> bad = bytesOf("FE 03 00 07 99 73 41 42 EE");
  ASSERT_EQ(::write(fd, bad.data(), bad.size()), ssize_t(bad.size()));
  EXPECT_EQ(hex(readSome(fd, 1000)), "FE 00 00 00 00 00 4F");
  ASSERT_TRUE(emu.waitForFrames(3, 1000));
  EXPECT_FALSE(emu.frames()[2].checksOk);
  ::close(fd);
}

TEST(SimLogin, DialsInAnswersTheGreetingAndServesFrames) {
  for (bool answer : {true, false}) {
    SCOPED_TRACE(answer ? "answering" : "silent");
    Sock server(tcpSocket());
    sockaddr_in at = endpoint(TestAddress(), 0);
    ASSERT_EQ(::bind(server.fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(server.fd, 1), 0);
    Emulator emu(TestOptions());
    ASSERT_TRUE(emu.connectLogin(TestAddress(), localPort(server.fd), answer));
    Sock conn(::accept(server.fd, nullptr, nullptr));
    ASSERT_GE(conn.fd, 0);
    std::vector<uint8_t> greeting = netFrame(0x62, bytesOfText("1#2024030100081502#050#"));
    ASSERT_EQ(::send(conn.fd, greeting.data(), greeting.size(), 0), 42);
    EXPECT_EQ(hex(readSome(conn.fd, answer ? 1000 : 150)), answer ? kAcceptReply : "");
    ASSERT_TRUE(emu.waitForGreetings(1, 1000));
    EXPECT_EQ(emu.greetings()[0].raw, greeting);
    EXPECT_TRUE(emu.frames().empty());

    std::vector<uint8_t> f = bytesOf(kPlayPage3);
    ASSERT_EQ(::send(conn.fd, f.data(), f.size(), 0), 21);
    EXPECT_EQ(hex(readSome(conn.fd, 1000)), kAcceptReply);
    ASSERT_TRUE(emu.waitForFrames(1, 1000));
    EXPECT_EQ(emu.frames()[0].channel, "login");
    EXPECT_EQ(emu.frames()[0].get("page"), "3");
  }
}

TEST(SimFixture, HexHelpers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EQ(hex(bytesOf("fe5c 4B 89")), "FE 5C 4B 89");
  EXPECT_EQ(bytesOf("").size(), 0u);
  EXPECT_DEATH(bytesOf("F E"), "odd number");
  EXPECT_DEATH(bytesOf("FG"), "no hex digit");
}

// ---- bounded serving ---------------------------------------------------------------

namespace {

// A datagram of len bytes that starts a network frame announcing declared
// bytes; the rest is filler.
std::vector<uint8_t> piece(uint32_t declared, size_t len) {
  std::vector<uint8_t> d(len, 0x11);
  const uint8_t head[8] = {0xFE, 0x5C, 0x4B, 0x89, uint8_t(declared), uint8_t(declared >> 8),
                           uint8_t(declared >> 16), uint8_t(declared >> 24)};
  std::memcpy(d.data(), head, std::min(len, sizeof head));
  return d;
}
std::vector<uint8_t> filler(size_t len) { return std::vector<uint8_t>(len, 0x22); }

int threadCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
  }
  return n;
}

// Waits (up to 5 s) until the emulator holds want stream connections.
bool waitForConnections(const Emulator& emu, size_t want) {
  for (int i = 0; i < 500 && emu.streamConnections() != want; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return emu.streamConnections() == want;
}

int connectTo(const Emulator& emu) {
  int fd = tcpSocket();
  sockaddr_in to = endpoint(TestAddress(), emu.options().tcpPort);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TEST(SimReassembly, DatagramPiecesAreJoinedWithinTheFrameLimit) {
  struct Datagram {
    uint64_t source;
    std::vector<uint8_t> bytes;
  };
  struct Case {
    const char* what;
    size_t maxPending;
    std::vector<Datagram> in;
    std::vector<std::pair<uint64_t, size_t>> frames;  // source and length of each frame out
    size_t pending;                                   // still waiting afterwards
  } cases[] = {
      {"3000-byte frame in three pieces", 8, {{1, piece(3000, 1408)}, {1, filler(1408)}, {1, filler(184)}},
       {{1, 3000}}, 0},
      {"a full-size frame is whole", 8, {{1, piece(1408, 1408)}}, {{1, 1408}}, 0},
      {"a shorter datagram ends the frame", 8, {{1, piece(3000, 1408)}, {1, filler(100)}}, {{1, 1508}}, 0},
      {"a piece announcing 4 GiB is taken alone", 8, {{1, piece(0xFFFFFFFF, 1408)}, {1, filler(19)}},
       {{1, 1408}, {1, 19}}, 0},
      {"a piece announcing the limit waits", 8, {{1, piece(4408, 1408)}}, {}, 1},
      {"a piece announcing one byte more is taken alone", 8, {{1, piece(4409, 1408)}}, {{1, 1408}}, 0},
      {"sources are joined apart", 8,
       {{1, piece(2000, 1408)}, {2, piece(2000, 1408)}, {2, filler(592)}, {1, filler(592)}},
       {{2, 2000}, {1, 2000}}, 0},
      {"waiting sources are bounded", 2, {{1, piece(3000, 1408)}, {2, piece(3000, 1408)}, {3, piece(3000, 1408)}},
       {{1, 1408}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DatagramReassembler joiner(c.maxPending);
    std::vector<DatagramFrame> out;
    long at = 0;
    for (const Datagram& d : c.in) joiner.take(d.source, d.bytes.data(), d.bytes.size(), d.bytes.size(), at++, out);
    std::vector<std::pair<uint64_t, size_t>> got;
    for (const DatagramFrame& f : out) got.emplace_back(f.source, f.bytes.size());
    EXPECT_EQ(got, c.frames);
    EXPECT_EQ(joiner.pending(), c.pending);
  }

  // A frame missing pieces is taken as it is once they stop for 200 ms.
  DatagramReassembler joiner;
  std::vector<DatagramFrame> out;
  std::vector<uint8_t> first = piece(3000, 1408);
  joiner.take(7, first.data(), first.size(), first.size(), 1000, out);
  joiner.expire(1199, out);
  EXPECT_TRUE(out.empty());
  joiner.expire(1200, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].bytes, first);

  // A datagram longer than any frame keeps its first 4408 bytes, and says so.
  std::vector<uint8_t> big = bytesOf(kStartPlay);
  big.resize(5000, 0x33);
  out.clear();
  joiner.take(7, big.data(), big.size(), big.size(), 2000, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].bytes.size(), 4408u);
  EXPECT_EQ(out[0].cutBytes, 592u);
  Frame f = decodeDatagramFrame(out[0]);
  EXPECT_EQ(f.name, "StartPlay");
  EXPECT_NE(f.error.find("datagram of 5000 bytes, of which the first 4408 are decoded"), std::string::npos) << f.error;
}

TEST(SimReassembly, StreamSplitterQuietRulesAndLimits) {
  // Bytes and when they arrived, the moment the line is looked at again, and
  // what is released then (J: a junk run of that many bytes, F: a frame).
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    long quietMs;
    std::string atFeed, afterQuiet;
  } cases[] = {
      {"frame short of its length, end mark, 29 ms", bytesOf("FE 5C 4B 89 14 00 00 00 51 00 00 00 00 00 00 00 00 FF FF"),
       29, "", ""},
      {"frame short of its length, end mark, 30 ms", bytesOf("FE 5C 4B 89 14 00 00 00 51 00 00 00 00 00 00 00 00 FF FF"),
       30, "", "F19"},
      {"frame short of its length, no end mark, 999 ms", bytesOf("FE 5C 4B 89 14 00 00 00 51 00"), 999, "", ""},
      {"frame short of its length, no end mark, 1000 ms", bytesOf("FE 5C 4B 89 14 00 00 00 51 00"), 1000, "", "F10"},
      {"junk, then a frame", bytesOf(std::string("00 01 02 ") + kStartPlay), 0, "J3 F19", ""},
      {"junk alone, 30 ms", bytesOf("00 01 02"), 30, "", "J3"},
      {"a length field of 4408 waits", bytesOf("FE 5C 4B 89 38 11 00 00 51"), 999, "", ""},
      {"a length field of 4409 starts no frame", bytesOf("FE 5C 4B 89 39 11 00 00 51"), 30, "", "J9"},
      {"noise is reported in runs of 4408", std::vector<uint8_t>(5000, 0x00), 30, "J4408", "J592"},
  };
  auto describe = [](const std::vector<StreamPiece>& pieces) {
    std::string s;
    for (const StreamPiece& p : pieces) s += (s.empty() ? "" : " ") + std::string(p.junk ? "J" : "F") + std::to_string(p.bytes.size());
    return s;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StreamSplitter splitter(false);
    std::vector<StreamPiece> out;
    splitter.feed(c.bytes.data(), c.bytes.size(), 5000, out);
    EXPECT_EQ(describe(out), c.atFeed);
    out.clear();
    splitter.idle(5000 + c.quietMs, out);
    EXPECT_EQ(describe(out), c.afterQuiet);
  }
  // The serial line's frames obey the same limit (big-endian length + 2).
  std::vector<uint8_t> s = bytesOf("FE 98 11 36 97 36");
  EXPECT_EQ(completeFrameLength(s.data(), s.size(), true), 0);
  s[3] = 0x37;
  EXPECT_EQ(completeFrameLength(s.data(), s.size(), true), -1);
}

TEST(SimServer, KeepsTheMostRecentFrames) {
  Options o = TestOptions();
  o.keep = 3;
  Emulator emu(o);
  std::string err;
  ASSERT_TRUE(emu.start(&err)) << err;
  Sock s(udpSocket());
  sockaddr_in to = endpoint(TestAddress(), emu.options().udpPort);
  for (uint8_t page = 1; page <= 5; ++page) {
    std::vector<uint8_t> f = netFrame(0x66, {page, uint8_t(~page)});
    ASSERT_EQ(::sendto(s.fd, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 21);
    readSome(s.fd, 2000);  // its answer: one at a time, so that none is dropped
  }
  ASSERT_TRUE(emu.waitForFrames(5, 2000));
  EXPECT_EQ(emu.framesSeen(), 5u);
  std::vector<Frame> kept = emu.frames();
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].get("page") + kept[1].get("page") + kept[2].get("page"), "345");
  ASSERT_EQ(emu.datagrams().size(), 3u);
  EXPECT_EQ(emu.datagrams()[2].bytes[17], 5);
  emu.clear();
  EXPECT_EQ(emu.framesSeen(), 0u);
  EXPECT_TRUE(emu.frames().empty());
}

TEST_F(EmulatorTest, APieceAnnouncingMoreThanAnyFrameIsNotKeptWaiting) {
  Sock s(udpSocket());
  sockaddr_in to = endpoint(TestAddress(), emu.options().udpPort);
  std::vector<uint8_t> huge = piece(0xFFFFFFFF, 1408);
  std::vector<uint8_t> start = bytesOf(kStartPlay);
  for (const auto& d : {huge, start})
    ASSERT_EQ(::sendto(s.fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to), ssize_t(d.size()));
  ASSERT_TRUE(emu.waitForFrames(2, 2000));
  std::vector<Frame> frames = emu.frames();
  EXPECT_EQ(frames[0].raw, huge);
  EXPECT_NE(frames[0].error.find("total length field 4294967295, frame has 1408 bytes"), std::string::npos)
      << frames[0].error;
  EXPECT_EQ(frames[1].name, "StartPlay");
  EXPECT_TRUE(frames[1].checksOk) << frames[1].error;
}

TEST_F(EmulatorTest, IdleConnectionsShareOneThread) {
  ASSERT_TRUE(waitForConnections(emu, 0));
  const int before = threadCount();
  std::vector<std::unique_ptr<Sock>> held;
  for (int i = 0; i < 100; ++i) {
    held.push_back(std::make_unique<Sock>(connectTo(emu)));
    ASSERT_GE(held.back()->fd, 0) << i;
  }
  ASSERT_TRUE(waitForConnections(emu, 100));
  EXPECT_EQ(threadCount(), before);
  // The first and the last are served.
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  for (int fd : {held.front()->fd, held.back()->fd}) {
    ASSERT_EQ(::send(fd, f.data(), f.size(), 0), 19);
    EXPECT_EQ(hex(readSome(fd, 2000)), kAcceptReply);
  }
  held.clear();
  EXPECT_TRUE(waitForConnections(emu, 0));
}

TEST(SimServer, TheQuietestConnectionMakesRoomForANewOne) {
  Options o = TestOptions();
  o.maxConnections = 2;
  Emulator emu(o);
  std::string err;
  ASSERT_TRUE(emu.start(&err)) << err;
  Sock a(connectTo(emu));
  ASSERT_TRUE(waitForConnections(emu, 1));
  Sock b(connectTo(emu));
  ASSERT_TRUE(waitForConnections(emu, 2));
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  ASSERT_EQ(::send(a.fd, f.data(), f.size(), 0), 19);  // a has spoken since b arrived
  EXPECT_EQ(hex(readSome(a.fd, 2000)), kAcceptReply);
  Sock c(connectTo(emu));
  pollfd pf{b.fd, POLLIN, 0};
  ASSERT_EQ(::poll(&pf, 1, 2000), 1);
  char byte;
  EXPECT_EQ(::recv(b.fd, &byte, 1, 0), 0);  // b was closed
  for (int fd : {a.fd, c.fd}) {
    ASSERT_EQ(::send(fd, f.data(), f.size(), 0), 19);
    EXPECT_EQ(hex(readSome(fd, 2000)), kAcceptReply);
  }
  EXPECT_EQ(emu.streamConnections(), 2u);
}

TEST_F(EmulatorTest, ADelayedAnswerHoldsUpNoOtherConnection) {
  Sock a(connectTo(emu));
  Sock b(connectTo(emu));
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  emu.setReplyMode(ReplyMode::Delay, 30000);
  ASSERT_EQ(::send(a.fd, f.data(), f.size(), 0), 19);
  ASSERT_TRUE(emu.waitForFrames(1, 2000));
  emu.setReplyMode(ReplyMode::Accept);
  ASSERT_EQ(::send(b.fd, f.data(), f.size(), 0), 19);
  EXPECT_EQ(hex(readSome(b.fd, 5000)), kAcceptReply);
  EXPECT_TRUE(readSome(a.fd, 0).empty());
}

TEST_F(EmulatorTest, AConnectionThatReadsNoneOfItsDelayedAnswersIsReadNoFurther) {
  // a sends 1000 frames and never reads: with 64 answers waiting for their
  // 30 s, the rest stays unread. b, answered after 100 ms, sends 150 at
  // once and gets all 150 answers as room is made.
  emu.setReplyMode(ReplyMode::Delay, 30000);
  Sock a(connectTo(emu));
  std::vector<uint8_t> f = bytesOf(kStartPlay), many;
  for (int i = 0; i < 1000; ++i) many.insert(many.end(), f.begin(), f.end());
  ASSERT_EQ(::send(a.fd, many.data(), many.size(), 0), ssize_t(many.size()));
  ASSERT_TRUE(emu.waitForFrames(kMaxPendingAnswers, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(emu.framesSeen(), kMaxPendingAnswers);
  EXPECT_EQ(emu.pendingAnswers(), kMaxPendingAnswers);

  emu.setReplyMode(ReplyMode::Delay, 100);
  Sock b(connectTo(emu));
  many.resize(150 * f.size());
  ASSERT_EQ(::send(b.fd, many.data(), many.size(), 0), ssize_t(many.size()));
  ASSERT_TRUE(emu.waitForFrames(kMaxPendingAnswers + 150, 10000));
  std::vector<uint8_t> answers;
  while (answers.size() < 150 * 20) {
    std::vector<uint8_t> got = readSome(b.fd, 5000);
    if (got.empty()) break;
    answers.insert(answers.end(), got.begin(), got.end());
  }
  ASSERT_EQ(answers.size(), 150u * 20);
  EXPECT_EQ(hex(std::vector<uint8_t>(answers.end() - 20, answers.end())), kAcceptReply);
  EXPECT_EQ(emu.pendingAnswers(), kMaxPendingAnswers);  // a's, still waiting
}

TEST_F(EmulatorTest, ANewControllerIsServedWhenTheProcessHasNoDescriptorLeft) {
  // The soft limit 64 above the highest descriptor open, then every one
  // taken: a newcomer gets the emulator's reserve, the next one the place
  // of the quietest connection.
  struct Exhausted {
    rlimit old{};
    std::vector<int> taken;
    ~Exhausted() {
      for (int fd : taken) ::close(fd);
      ::setrlimit(RLIMIT_NOFILE, &old);
    }
  } ex;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &ex.old), 0);
  rlimit low = ex.old;
  int highest = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(d)) highest = std::max(highest, std::atoi(e->d_name));
    ::closedir(d);
  }
  low.rlim_cur = std::min<rlim_t>(ex.old.rlim_cur, rlim_t(highest) + 64);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  // The clients' sockets are made first: connecting them later takes no
  // descriptor, so none comes free for the emulator to pick up meanwhile.
  std::vector<std::unique_ptr<Sock>> clients;
  for (int i = 0; i < 2; ++i) {
    clients.push_back(std::make_unique<Sock>(tcpSocket()));
    ASSERT_GE(clients.back()->fd, 0);
  }
  std::vector<int>& taken = ex.taken;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
  ASSERT_EQ(errno, EMFILE);
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  const sockaddr_in to = endpoint(TestAddress(), emu.options().tcpPort);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(::connect(clients[i]->fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    ASSERT_EQ(::send(clients[i]->fd, f.data(), f.size(), 0), 19);
    EXPECT_EQ(hex(readSome(clients[i]->fd, 2000)), kAcceptReply) << "client " << i;
  }
  pollfd pf{clients[0]->fd, POLLIN, 0};
  ASSERT_EQ(::poll(&pf, 1, 2000), 1);
  char byte;
  EXPECT_EQ(::recv(clients[0]->fd, &byte, 1, 0), 0);  // closed for the second
}
