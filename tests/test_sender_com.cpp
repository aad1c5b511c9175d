// The serial sender and the serial port, over pseudo-terminals served by the
// controller emulator: the file COM<n> in a fresh working directory links to
// a terminal's slave side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "api/Send.h"
#include "core/CBuffObj.h"
#include "core/Trace.h"
#include "transport/CSerialPort.h"
#include "transport/ReplyJudge.h"
#include "transport/Senders.h"

namespace {

const Bytes kStartPlay = bytesOf("FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF");
const Bytes kPage3 = bytesOf("FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 03 FC FF FF");

// A reply in network-frame layout with code 81 and this status byte.
Bytes NetReply(uint8_t status) { return Reply(0x81, status); }


// Line a_ is port 3; b_ is opened and linked only where a test needs a
// second line. Each send waits half of the reply wait after each frame.
class SenderCom : public ComPortTest {

 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ComPortTest::SetUp());
    ASSERT_TRUE(a_.Open());
    Link(3, a_);
  }

  void Link(int n, const SerialLine& line) { ports_.link(n, line.slave); }
  void Unlink(int n) { ports_.unlink(n); }

  int Send(const std::vector<Bytes>& frames, int port, int baud = 9600) {
    FrameList list;
    for (const Bytes& f : frames) list.push_back(Record(f));
    return SendOnSerial(list, port, baud);
  }

  // Answers every frame with these bytes (empty: silence).
  void ReplyWith(SerialLine& line, Bytes reply) {
    line.sim->setReplyOverride(
        [reply](const vexasim::Frame&) -> std::optional<Bytes> { return reply; });
  }

  SerialLine a_, b_;
};


// ---------------------------------------------------------------------------
TEST_F(SenderCom, WritesTheFramesExactly) {
  EXPECT_EQ(Send({kStartPlay, kPage3}, 3), 0);
  EXPECT_EQ(hex(a_.Received(2)), hex(kStartPlay) + " " + hex(kPage3));
  std::vector<vexasim::Frame> f = a_.sim->frames();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].channel, "serial");
  EXPECT_EQ(f[1].name, "PlayShowPage");
}

TEST_F(SenderCom, ComPortNames) {
  EXPECT_EQ(ComPortName(3), "COM3");
  EXPECT_EQ(ComPortName(0), "COM0");
  EXPECT_EQ(ComPortName(12), "COM12");
}

TEST(JudgeSerialReply, Table) {
  struct Row {
    const char* name;
    std::string reply;
    long received;  // -2: the reply's own length
    int result;
  };
  const Row rows[] = {
      {"network frame status 1", hex(NetReply('1')), -2, 0},
      {"network frame status O", hex(NetReply('O')), -2, 0},
      {"network frame status 2", hex(NetReply('2')), -2, 3},
      {"network frame status 3 is not distinguished", hex(NetReply('3')), -2, 1},
      {"network frame cut before its status", "FE 5C 4B 89 14 00 00 00 81", -2, 1},
      {"serial reply 97 status 1", "FE 97 00 00 00 00 31", -2, 0},
      {"serial reply 97 status 00", "FE 97 00 00 00 00 00", -2, 0},
      {"serial reply 97 status 2", "FE 97 00 00 00 00 32", -2, 1},
      {"serial reply status O", "FE 00 00 00 00 00 4F", -2, 0},
      {"serial reply 97 status O", "FE 97 00 00 00 00 4F", -2, 0},
      {"serial reply cut before its status", "FE 97 00 00", -2, 1},
      {"serial reply cut before status O", "FE 00 00 00 00 4F", -2, 1},
      // Six bytes: the status byte (byte 6) has not arrived; it must not
      // read as the 00 that accepts.
      {"six bytes, status byte missing", "FE 97 00 00 00 00", -2, 1},
      {"serial reply of another kind", "FE 42 00 00 00 00 31", -2, 1},
      // Byte 3 = 89 makes it a network-frame reply, whatever byte 6 says.
      {"network layout tested first", "FE 97 00 89 00 00 31 00 00 00 00 00 00 00 00 00 00 33",
       -2, 1},
      {"no FE", "00 97 00 00 00 00 31", -2, 1},
      {"nothing read", "", 0, 2},
      {"read error", "", -1, 2},
  };
  for (const Row& r : rows) {
    Bytes buf(256, 0);
    Bytes reply = bytesOf(r.reply);
    std::copy(reply.begin(), reply.end(), buf.begin());
    long received = r.received == -2 ? static_cast<long>(reply.size()) : r.received;
    EXPECT_EQ(JudgeSerialReply(buf.data(), received).result, r.result) << r.name;
  }
}

TEST_F(SenderCom, RepliesOnTheLine) {
  struct Row {
    const char* name;
    Bytes reply;
    int result;
    std::string reason;  // the thread's reason afterwards
  };
  const Row rows[] = {
      {"serial accepted", bytesOf("FE 97 00 00 00 00 31"), 0, ""},
      {"network status 2", NetReply('2'), 3, "controller on COM3 refused the command: status \"2\""},
      {"network status 3", NetReply('3'), 1,
       "controller on COM3: reply not accepted (network-frame reply with another status)"},
      {"garbage", bytesOf("47 41 52 42 41 47 45"), 1,
       "controller on COM3: reply not accepted (not an accepted reply)"},
      {"silence", {}, 2, "controller on COM3: no reply within 200 ms after 1 attempt"},
  };
  for (const Row& r : rows) {
    trace::SetReason("");
    ReplyWith(a_, r.reply);
    EXPECT_EQ(Send({kStartPlay}, 3), r.result) << r.name;
    EXPECT_EQ(trace::LastReason(), r.reason) << r.name;
    a_.sim->clear();
  }
}

TEST_F(SenderCom, SilentLineIsWrittenAgainOnEachAttempt) {
  ReplyWith(a_, {});
  g_send_times = 2;
  EXPECT_EQ(Send({kStartPlay}, 3), 2);
  EXPECT_EQ(hex(a_.Received(2)), hex(kStartPlay) + " " + hex(kStartPlay));
}

TEST_F(SenderCom, SamePortAndBaudRateOpensOnce) {
  EXPECT_EQ(Send({kStartPlay}, 3), 0);
  const int fd = serialPort.fd;
  EXPECT_GE(fd, 0);
  EXPECT_TRUE(serialPort.isOpen);
  // With the device name gone, only a port that stayed open still works.
  Unlink(3);
  EXPECT_EQ(Send({kPage3}, 3), 0);
  EXPECT_EQ(serialPort.fd, fd);
  EXPECT_EQ(hex(a_.Received(2)), hex(kStartPlay) + " " + hex(kPage3));
  // Another baud rate must reopen, which now fails.
  EXPECT_EQ(Send({kStartPlay}, 3, 19200), 1);
  EXPECT_FALSE(serialPort.isOpen);
  EXPECT_EQ(serialPort.fd, -1);
}

TEST_F(SenderCom, OtherBaudRateReopensButTheLineRunsAt9600) {
  EXPECT_EQ(Send({kStartPlay}, 3), 0);
  EXPECT_EQ(Send({kStartPlay}, 3, 19200), 0);
  EXPECT_EQ(serialPort.baudRate, 19200);
  ASSERT_GE(serialPort.fd, 0);
  termios t{};
  ASSERT_EQ(tcgetattr(serialPort.fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
}

TEST_F(SenderCom, OtherPortNumberReopens) {
  ASSERT_TRUE(b_.Open());
  Link(4, b_);
  EXPECT_EQ(Send({kStartPlay}, 3), 0);
  EXPECT_EQ(Send({kPage3}, 4), 0);
  EXPECT_EQ(serialPort.portName, "COM4");
  EXPECT_EQ(hex(a_.Received(1)), hex(kStartPlay));
  EXPECT_EQ(hex(b_.Received(1)), hex(kPage3));
  // And back again.
  EXPECT_EQ(Send({kPage3}, 3), 0);
  EXPECT_EQ(hex(a_.Received(2)), hex(kStartPlay) + " " + hex(kPage3));
}

TEST_F(SenderCom, CloseComThenACallReopens) {
  EXPECT_EQ(Send({kStartPlay}, 3), 0);
  EXPECT_EQ(CloseCom(), 0);
  EXPECT_EQ(serialPort.fd, -1);
  EXPECT_FALSE(serialPort.isOpen);
  EXPECT_EQ(serialPort.portName, "");
  // The same port number must be opened anew: with the name gone that fails.
  Unlink(3);
  EXPECT_EQ(Send({kStartPlay}, 3), 1);
  Link(3, a_);
  EXPECT_EQ(Send({kPage3}, 3), 0);
  EXPECT_EQ(hex(a_.Received(2)), hex(kStartPlay) + " " + hex(kPage3));
  // Closing twice is harmless.
  EXPECT_EQ(CloseCom(), 0);
  EXPECT_EQ(CloseCom(), 0);
}

TEST_F(SenderCom, MissingDeviceGivesOne) {
  g_send_times = 2;
  EXPECT_EQ(Send({kStartPlay}, 9), 1);
  // The reason is kept for the caller even with the trace off.
  ASSERT_FALSE(trace::On());
  EXPECT_EQ(trace::LastReason(), "COM9: No such file or directory");
  EXPECT_FALSE(serialPort.isOpen);
  EXPECT_EQ(serialPort.fd, -1);
}

TEST_F(SenderCom, NothingToWriteOrSomethingInvalidGivesOne) {
  EXPECT_EQ(SendOnSerial({}, 3, 9600), 1);
  EXPECT_EQ(SendOnSerial({Record(kStartPlay), InvalidBuffer()}, 3, 9600), 1);
  CBuffObj::tagBufferInfo tooLong = Record(kStartPlay);
  tooLong.nBufferLen = 3001;
  EXPECT_EQ(SendOnSerial({tooLong}, 3, 9600), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(a_.sim->serialBytes().empty());
}

// ---------------------------------------------------------------------------
// The port object on its own.
TEST_F(SenderCom, CloseTwiceLeavesAReusedDescriptorAlone) {
  CSerialPort port(ComPortName(3), 9600, 8, 0, 0);
  ASSERT_TRUE(port.openComm());
  const int fd = port.fd;
  port.closeComm();
  EXPECT_EQ(port.fd, -1);
  // The application opens something and gets the same descriptor number.
  int other = open("/dev/null", O_RDONLY);
  ASSERT_GE(other, 0);
  EXPECT_EQ(other, fd) << "the lowest free number is normally reused";
  port.closeComm();
  EXPECT_NE(fcntl(other, F_GETFD), -1) << "the second close closed someone else's descriptor";
  close(other);
}

TEST_F(SenderCom, OpeningAnOpenPortDoesNotLeakItsDescriptor) {
  CSerialPort port(ComPortName(3), 9600, 8, 0, 0);
  ASSERT_TRUE(port.openComm());
  const int first = port.fd;
  ASSERT_TRUE(port.openComm());
  // The first descriptor was released before the reopen, so the reopen got
  // the same lowest free number back.
  EXPECT_EQ(port.fd, first);
  port.closeComm();
  EXPECT_EQ(fcntl(first, F_GETFD), -1) << "a descriptor of the port is still open";
}

TEST_F(SenderCom, OpenFailureLeavesNoDescriptor) {
  CSerialPort port("COM-none", 9600, 8, 0, 0);
  EXPECT_FALSE(port.openComm());
  EXPECT_EQ(port.fd, -1);
  port.closeComm();
  EXPECT_EQ(port.fd, -1);
  EXPECT_EQ(port.readFromComm(), 2);
  EXPECT_TRUE(port.writeToComm("x", 1));
}

TEST_F(SenderCom, PortReadsAndJudgesWhatTheLineHolds) {
  CSerialPort port(ComPortName(3), 9600, 8, 0, 0);
  port.replyWait = 20;
  ASSERT_TRUE(port.openComm());
  EXPECT_EQ(port.readFromComm(), 2) << "nothing there yet: returns at once";
  ReplyWith(a_, bytesOf("FE 97 00 00 00 00 31"));
  EXPECT_TRUE(port.writeToComm(kStartPlay.data(), static_cast<int64_t>(kStartPlay.size())));
  a_.Received(1);
  EXPECT_EQ(port.readFromComm(), 0);
  port.closeComm();
}

// ---------------------------------------------------------------------------
// A device that goes away and comes back.
TEST_F(SenderCom, ReplacedDeviceWorksAgainWithoutCloseCom) {
  EXPECT_EQ(Send({kStartPlay}, 3), 0);
  // The adapter is unplugged (its line hangs up) and plugged in again as a
  // new device under the same name.
  a_.sim.reset();
  ASSERT_TRUE(b_.Open());
  Unlink(3);
  Link(3, b_);
  // The first write after the hang-up finds the device gone and closes the
  // port; the next call opens the new device.
  int result = Send({kPage3}, 3);
  if (result != 0) result = Send({kPage3}, 3);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(hex(b_.Received(1)), hex(kPage3));
}

// A reply that arrives in two pieces is read whole within the reply wait; a
// reply that stops before its status byte is not accepted.
TEST(SerialReply, ReadOnUntilTheStatusByte) {
  struct Row {
    const char* name;
    std::vector<std::string> pieces;
    int result;
  };
  const Row rows[] = {
      {"bus reply in two pieces", {"FE 97 00 00", "00 00 31"}, 0},
      {"network reply in two pieces",
       {"FE 5C 4B 89 14 00 00 00 81 00", "00 00 00 00 00 00 00 31 FF FF"},
       0},
      {"bus reply cut before its status", {"FE 97 00 00"}, 1},
  };
  for (const Row& r : rows) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char name[64];
    ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
    CSerialPort port(name, 9600, 8, 0, 0);
    port.replyWait = 400;
    ASSERT_TRUE(port.openComm());
    std::thread line([&] {
      for (const std::string& piece : r.pieces) {
        const Bytes b = bytesOf(piece);
        ASSERT_EQ(write(master, b.data(), b.size()), static_cast<ssize_t>(b.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
      }
    });
    // The reply has begun when the port reads it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(port.readFromComm(), r.result) << r.name;
    line.join();
    port.closeComm();
    close(slave);
    close(master);
  }
}

}  // namespace
