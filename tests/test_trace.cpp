// The trace: this executable runs with VEXA_TRACE naming a file, and each
// test reads back the records its calls wrote.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EmulatorTest.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "core/Trace.h"

namespace {

std::string TracePath() {
  const char* p = std::getenv("VEXA_TRACE");
  return p != nullptr ? p : "";
}

// The records written so far, each without its leading time stamp and
// thread ("2026-12-07 23:28:22.123 thread 4711 "), in order.
std::vector<std::string> Records() {
  std::ifstream in(TracePath());
  std::vector<std::string> records;
  const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} thread \d+ )");
  std::string line;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, m, stamp)) {
      records.push_back(m.suffix().str() + "\n");
    } else if (!records.empty()) {
      records.back() += line + "\n";
    } else {
      ADD_FAILURE() << "a line outside any record: " << line;
    }
  }
  return records;
}

class Trace : public EmulatorTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EmulatorTest::SetUp());
    ASSERT_FALSE(TracePath().empty()) << "run with VEXA_TRACE set";
    ASSERT_TRUE(trace::On());
    ASSERT_EQ(truncate(TracePath().c_str(), 0), 0);
  }
};

// The local port of a datagram socket bound to `address` port 0: a port
// the system picked, held until the socket closes.
int HoldUdpPort(const std::string& address, int* fd) {
  *fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(address.c_str());
  if (*fd < 0 || bind(*fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  socklen_t length = sizeof a;
  getsockname(*fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

TEST_F(Trace, AnAcceptedTransmissionIsOneRecordWithItsBytes) {
  // A free port of this suite's address, let go again so the library gets it.
  int holder = -1;
  const int port = HoldUdpPort(address_, &holder);
  ASSERT_GT(port, 0);
  close(holder);
  BindNetworkCard(ip(), port);
  sim_->setReplyMode(vexasim::ReplyMode::Delay, 60);
  EXPECT_EQ(PlayShowPage_Net(ip(), 1, 1), 0);
  sim_->setReplyMode(vexasim::ReplyMode::Accept);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);
  // The reply's arrival after its frame: the 60 ms the emulator waited, and
  // less than the 1000 ms receive time-out of the fixture.
  std::smatch after;
  ASSERT_TRUE(std::regex_search(records[0], after, std::regex(R"(< reply 20 bytes after (\d+) ms)")))
      << records[0];
  EXPECT_GE(std::stoi(after[1]), 60);
  EXPECT_LT(std::stoi(after[1]), 1000);
  EXPECT_EQ(std::regex_replace(records[0], std::regex(R"(after \d+ ms)"), "after N ms"),
            "udp " + address_ + ":8800 from " + address_ + ":" + std::to_string(port) +
                "\n"
                "  attempt 1 of 1\n"
                "  > frame 1 of 1: 21 bytes PlayShowPage\n"
                "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF\n"
                "  < reply 20 bytes after N ms\n"
                "    FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 31 FF FF\n"
                "  = result 0: command 0x81 status \"1\" (accepted)\n");
}

TEST_F(Trace, ThePortDatagramsReallyLeaveFrom) {
  // Another program holds the local port: the library sends from a port the
  // system picks, and the trace says which, and why.
  int holder = -1;
  const int held = HoldUdpPort(address_, &holder);
  ASSERT_GT(held, 0);
  BindNetworkCard(ip(), held);
  EXPECT_EQ(StartPlay_Net(ip(), 1), 0);
  close(holder);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      records[0], m,
      std::regex("^udp " + std::regex_replace(address_, std::regex(R"(\.)"), R"(\.)") +
                 R"(:8800 from :(\d+)\n  bind to [0-9.]+:(\d+) failed \(Address already in use\); sending from :(\d+)\n)")))
      << records[0];
  EXPECT_EQ(std::stoi(m[2]), held);
  EXPECT_EQ(m[1], m[3]);
  EXPECT_NE(std::stoi(m[1]), held);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  EXPECT_EQ(sim_->datagrams()[0].srcPort, std::stoi(m[1]));
}

TEST_F(Trace, EveryAttemptAndTheRowThatGaveTheResult) {
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  SetReceiveTimeOut(30);
  SetReSendTimes(1);
  EXPECT_EQ(StartPlay_Net(ip(), 1), 2);
  EXPECT_EQ(trace::LastReason(), "controller " + address_ + ": no reply within 30 ms after 2 attempts");
  SetReSendTimes(0);
  sim_->setReplyMode(vexasim::ReplyMode::Refuse3);
  SetReceiveTimeOut(1000);
  EXPECT_EQ(StopPlay_Net(ip(), 2), 4);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 2u);
  const std::string frame = "    FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF\n";
  EXPECT_EQ(records[0].substr(records[0].find('\n') + 1),
            "  attempt 1 of 2\n  > frame 1 of 1: 19 bytes StartPlay\n" + frame +
                "  < no reply (timed out after 30 ms)\n"
                "  attempt 2 of 2\n  > frame 1 of 1: 19 bytes StartPlay\n" + frame +
                "  < no reply (timed out after 30 ms)\n"
                "  = result 2: nothing received\n");
  EXPECT_EQ(records[1].substr(0, records[1].find('\n')), "tcp " + address_ + ":8900");
  EXPECT_NE(records[1].find("  = result 4: command 0x81 status \"3\" (refused with status \"3\")\n"),
            std::string::npos)
      << records[1];
}

TEST_F(Trace, LongFramesWrapAt32BytesALine) {
  std::string text(40, 'A');
  EXPECT_EQ(SendCollectionData_Net(&text[0], ip(), 1, 1, 0, 0, 0), 0);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);
  // 19 frame bytes around 5 record bytes and the text: 64 bytes, two full lines.
  const std::regex twoLines(
      R"(  > frame 1 of 1: 64 bytes CollectedData\n    ([0-9A-F]{2} ){31}[0-9A-F]{2}\n    ([0-9A-F]{2} ){31}FF\n)");
  EXPECT_TRUE(std::regex_search(records[0], twoLines)) << records[0];
}

TEST_F(Trace, RefusalsNameTheArgumentAndTheLimit) {
  char badIp[] = "10.0.0.300";
  std::string longText(3102, 'x');
  struct Row {
    int result;
    std::string reason;
  };
  const Row rows[] = {
      {PlayShowPage_Net(badIp, 1, 1), "address \"10.0.0.300\" is not dotted IPv4"},
      {SendCoordinateText_Net(&longText[0], ip(), 1, 0, 0, 1, 1, 0),
       "text of 3102 bytes does not fit one 3000-byte frame"},
      {SendCollectionData_Net(nullptr, ip(), 1, 1, 0, 0, 0), "the text is null"},
      {StartPlay_Com(&badIp[0], 2, 3, 9600), "this command has no RS-485 form (serial protocol 2)"},
  };
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(rows[i].result, 1) << rows[i].reason;
    EXPECT_EQ(records[i], "refused: " + rows[i].reason + "\n");
  }
  EXPECT_EQ(trace::LastReason(), rows[std::size(rows) - 1].reason);
}

class TraceSerial : public SerialLineTest {};

TEST_F(TraceSerial, SerialRecordsNameThePortAndItsFrames) {
  ASSERT_EQ(truncate(TracePath().c_str(), 0), 0);
  char bus[] = "5";
  EXPECT_EQ(PlayShowPage_Com(bus, 2, kPort, 9600, 1), 0);
  EXPECT_EQ(PlayShowPage_Com(bus, 2, 3, 9600, 1), 1);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].substr(0, records[0].find("  < reply")),
            "serial COM7 9600 rs485\n"
            "  attempt 1 of 1\n"
            "  > frame 1 of 1: 18 bytes PlayShowPage\n"
            "    FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3\n");
  EXPECT_EQ(records[1], "serial COM3 9600 rs485\n"
                        "  attempt 1 of 1\n"
                        "  cannot open COM3: No such file or directory\n"
                        "  = result 1: COM3: No such file or directory\n");
  EXPECT_EQ(trace::LastReason(), "COM3: No such file or directory");
}

// Records of several threads never interleave: every record read back is
// whole, its lines in their order.
TEST_F(Trace, ThreadsWriteWholeRecords) {
  constexpr int kThreads = 8, kCalls = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < kCalls; ++i) EXPECT_EQ(StartPlay_Net(ip(), 1), 0);
    });
  }
  for (std::thread& t : threads) t.join();
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), static_cast<size_t>(kThreads * kCalls));
  const std::regex whole(
      R"(udp [0-9.]+:8800 from [0-9.]*:\d+\n  attempt 1 of 1\n  > frame 1 of 1: 19 bytes StartPlay\n    [0-9A-F ]+\n  < reply 20 bytes after \d+ ms\n    [0-9A-F ]+\n  = result 0: [^\n]+\n)");
  for (const std::string& r : records) EXPECT_TRUE(std::regex_match(r, whole)) << r;
}

}  // namespace
