// The network sender in its three modes, against the controller emulator
// (datagrams and stream) and over a loopback connection pair (login link).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EmulatorTest.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "api/Send.h"
#include "core/CBuffObj.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"
#include "transport/ReplyJudge.h"
#include "transport/Senders.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}


// A network frame of `total` bytes (command 0x31) whose payload counts up.
CBuffObj::tagBufferInfo FrameOfSize(int total) {
  Bytes payload(static_cast<size_t>(total - 19));
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  CBuffObj obj;
  CBuffObj::tagBufferInfo f = obj.CompletePacketBuffer(Record(payload), 0x31, 0);
  EXPECT_EQ(f.nBufferLen, total);
  return f;
}

const Bytes kStartPlay = bytesOf("FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF");
const Bytes kStopPlay = bytesOf("FE 5C 4B 89 13 00 00 00 52 00 00 00 00 00 00 00 00 FF FF");

// ---------------------------------------------------------------------------
class SenderNet : public EmulatorTest {
 protected:
  // Answers the k-th frame received with replies[k] (the last one for all
  // later frames); an empty reply is silence.
  void ReplyInTurn(std::vector<Bytes> replies) {
    auto count = std::make_shared<std::atomic<size_t>>(0);
    sim_->setReplyOverride([replies, count](const vexasim::Frame&) -> std::optional<Bytes> {
      size_t k = count->fetch_add(1);
      return replies[k < replies.size() ? k : replies.size() - 1];
    });
  }

  // Frames the emulator received within a short settling time.
  size_t FramesAfterSettling(size_t atLeast) {
    sim_->waitForFrames(atLeast, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return sim_->frames().size();
  }
};


// ---------------------------------------------------------------------------
// Datagram mode.
TEST_F(SenderNet, LongFrameIsCutIntoFullDatagramsAndARemainder) {
  CBuffObj::tagBufferInfo f = FrameOfSize(3000);
  EXPECT_EQ(SendToController({f}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  std::vector<vexasim::Datagram> d = sim_->datagrams();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].bytes.size(), 1408u);
  EXPECT_EQ(d[1].bytes.size(), 1408u);
  EXPECT_EQ(d[2].bytes.size(), 184u);
  Bytes joined;
  for (const auto& x : d) joined.insert(joined.end(), x.bytes.begin(), x.bytes.end());
  EXPECT_EQ(joined, BytesOf(f));
  // Reassembled by its length field into the one frame that was sent.
  std::vector<vexasim::Frame> frames = sim_->frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw, BytesOf(f));
}

TEST_F(SenderNet, FrameOfExactlyOneDatagramIsNotCut) {
  CBuffObj::tagBufferInfo f = FrameOfSize(1408);
  EXPECT_EQ(SendToController({f}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  std::vector<vexasim::Datagram> d = sim_->datagrams();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].bytes, BytesOf(f));
}

TEST_F(SenderNet, FramesOfAListGoOutInOrder) {
  // The controller answers every frame; one reply is read and judged.
  CBuffObj::tagBufferInfo big = FrameOfSize(1500);
  EXPECT_EQ(SendToController({Record(kStartPlay), big, Record(kStopPlay)}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(3, 2000));
  std::vector<vexasim::Datagram> d = sim_->datagrams();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].bytes, kStartPlay);
  EXPECT_EQ(d[1].bytes.size(), 1408u);
  EXPECT_EQ(d[2].bytes.size(), 92u);
  EXPECT_EQ(d[3].bytes, kStopPlay);
}

TEST_F(SenderNet, DatagramsLeaveFromPort8801ByDefault) {
  char any[] = "127.0.0.1";
  BindNetworkCard(any, 8801);
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  ASSERT_EQ(sim_->datagrams().size(), 1u);
  EXPECT_EQ(sim_->datagrams()[0].srcPort, 8801);
}

TEST_F(SenderNet, DatagramsLeaveFromTheBoundPort) {
  char any[] = "127.0.0.1";
  BindNetworkCard(any, 9000);
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  ASSERT_EQ(sim_->datagrams().size(), 1u);
  EXPECT_EQ(sim_->datagrams()[0].srcPort, 9000);
  // Bound to this suite's own address, the datagrams come from it.
  sim_->clear();
  BindNetworkCard(ip(), 9000);
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  EXPECT_EQ(sim_->datagrams()[0].srcAddr, address_);
  EXPECT_EQ(sim_->datagrams()[0].srcPort, 9000);
}

// ---------------------------------------------------------------------------
// Judging the reply. Each row: the replies to attempt 1, 2, 3 (empty:
// silence), the attempts allowed, the result and the frames sent.
struct JudgeRow {
  const char* name;
  std::vector<Bytes> replies;
  int attempts;
  int result;
  size_t framesSent;
};

TEST_F(SenderNet, ReplyJudgementTable) {
  const Bytes silence;
  const Bytes foreignMagic = bytesOf("FE 5C 4B 88 14 00 00 00 81 00 00 00 00 01 00 00 00 31 FF FF");
  const Bytes noFrame = bytesOf("31 31 31 31 31 31 31 31 31 31 31 31 31 31 31 31 31 31");
  // Only bytes 0, 3, 8 and 17 are judged.
  const Bytes bare = bytesOf("FE 00 00 89 00 00 00 00 31 00 00 00 00 00 00 00 00 31");
  // Code "1" but the reply ends before its status byte, which reads as zero.
  const Bytes cut = bytesOf("FE 5C 4B 89 14 00 00 00 31");
  const JudgeRow rows[] = {
      {"0x81 status 1", {Reply(0x81, '1')}, 3, 0, 1},
      {"'1' status 1", {Reply('1', '1')}, 3, 0, 1},
      {"'l' status 1", {Reply('l', '1')}, 3, 0, 1},
      {"'x' status 1", {Reply('x', '1')}, 3, 0, 1},
      {"only the judged bytes", {bare}, 3, 0, 1},
      {"status 2", {Reply(0x81, '2')}, 3, 3, 1},
      {"'1' status 3", {Reply('1', '3')}, 3, 4, 1},
      {"other status stops unchanged", {Reply(0x81, '9')}, 3, 1, 1},
      {"'h' 'O'", {Reply('h', 'O')}, 3, 0, 1},
      {"'h' status 1 is retried", {Reply('h', '1')}, 3, 1, 3},
      {"echoed 'f' is retried", {Reply('f', '1')}, 3, 1, 3},
      {"echoed 'f' then accepted", {Reply('f', '1'), Reply(0x81, '1')}, 3, 0, 2},
      {"foreign magic is retried", {foreignMagic}, 3, 1, 3},
      {"no frame at all is retried", {noFrame}, 2, 1, 2},
      {"silence", {silence}, 1, 2, 1},
      {"silence then foreign keeps 2", {silence, foreignMagic}, 2, 2, 2},
      {"silence then accepted", {silence, Reply(0x81, '1')}, 3, 0, 2},
      {"foreign then silence", {foreignMagic, silence}, 2, 2, 2},
      {"echo then refused", {Reply('f', '1'), Reply('1', '2')}, 3, 3, 2},
      // The reply buffer is cleared before each attempt: the cut reply's
      // status is zero, not the "1" left by the longer reply before it.
      {"buffer cleared between attempts", {Reply('f', '1'), cut}, 3, 1, 2},
  };
  SetReceiveTimeOut(300);
  for (const JudgeRow& row : rows) {
    sim_->clear();
    ReplyInTurn(row.replies);
    g_send_times = row.attempts;
    EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), row.result) << row.name;
    EXPECT_EQ(FramesAfterSettling(row.framesSent), row.framesSent) << row.name;
  }
}

// Every failure says why, in the calling thread's reason; each row first
// leaves an unrelated reason behind, which the failure must replace.
TEST_F(SenderNet, EveryFailureSaysWhy) {
  const std::string who = "controller " + address_;
  struct Row {
    int mode;
    std::vector<Bytes> replies;
    int attempts;
    int result;
    std::string reason;
  } rows[] = {
      {1, {Bytes()}, 3, 2, who + ": no reply within 50 ms after 3 attempts"},
      {2, {Bytes()}, 3, 2, who + ": no reply within 50 ms after 1 attempt"},
      {1, {Reply(0x81, '2')}, 1, 3, who + " refused the command: status \"2\""},
      {2, {Reply('1', '3')}, 1, 4, who + " refused the command: status \"3\""},
      {1, {Reply('f', '1')}, 1, 1,
       who + ": reply not accepted (command \"f\" status \"1\" (answer to another command))"},
  };
  SetReceiveTimeOut(50);
  char bad[] = "10.0.0.300";
  for (const Row& row : rows) {
    ASSERT_EQ(SendToController({Record(kStartPlay)}, bad, 1), 1);
    ReplyInTurn(row.replies);
    g_send_times = row.attempts;
    EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), row.mode), row.result) << row.reason;
    EXPECT_EQ(trace::LastReason(), row.reason);
  }
}

TEST_F(SenderNet, JudgeNetworkReplyDirectly) {
  struct Row {
    Bytes reply;
    long received;
    int before, after;
    bool stop;
  };
  const Row rows[] = {
      {Reply(0x81, '1'), 20, 1, 0, true},
      {Reply(0x81, '2'), 20, 2, 3, true},
      {Reply('x', '3'), 20, 1, 4, true},
      {Reply('l', 'A'), 20, 2, 2, true},
      {Reply('h', 'O'), 20, 1, 0, true},
      {Reply('h', '1'), 20, 2, 2, false},
      {Reply('f', '1'), 20, 1, 1, false},
      {Reply(0x81, '1'), 0, 1, 2, false},
      {Reply(0x81, '1'), -1, 0, 2, false},
      {bytesOf("00 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 31"), 18, 2, 2, false},
  };
  for (const Row& r : rows) {
    Bytes buf(1024, 0);
    std::copy(r.reply.begin(), r.reply.end(), buf.begin());
    const ReplyVerdict v = JudgeNetworkReply(buf.data(), r.received, r.before);
    EXPECT_EQ(v.result, r.after) << hex(r.reply) << " received " << r.received;
    EXPECT_EQ(v.stop, r.stop) << hex(r.reply);
  }
}

TEST_F(SenderNet, ReSendTimesSetsTheAttempts) {
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  SetReceiveTimeOut(50);
  SetReSendTimes(2);
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), 2);
  EXPECT_EQ(FramesAfterSettling(3), 3u);
  sim_->clear();
  SetReSendTimes(-5);
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 1), 2);
  EXPECT_EQ(FramesAfterSettling(1), 1u);
}

// A free datagram port on `address`, with the address and port filled in.
sockaddr_in FreePort(const std::string& address) {
  int probe = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(address.c_str());
  EXPECT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  close(probe);
  return a;
}

// A host at `from` that keeps sending `reply` to `to` until it is stopped.
class Answerer {
 public:
  Answerer(const std::string& from, const sockaddr_in& to, Bytes reply)
      : thread_([this, from, to, reply] {
          int s = socket(AF_INET, SOCK_DGRAM, 0);
          sockaddr_in self{};
          self.sin_family = AF_INET;
          self.sin_addr.s_addr = inet_addr(from.c_str());
          bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self);
          while (!done_) {
            sendto(s, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          close(s);
        }) {}
  ~Answerer() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The sender's reply socket is bound to a known port here; a helper thread
// plays a controller that answers without having been sent anything.
TEST_F(SenderNet, EmptyListStillReceivesOnceAndJudges) {
  const sockaddr_in local = FreePort(address_);
  BindNetworkCard(ip(), ntohs(local.sin_port));
  SetReceiveTimeOut(2000);
  int result;
  {
    Answerer controller(address_, local, Reply(0x81, '2'));
    result = SendToController({}, ip(), 1);
  }
  EXPECT_EQ(result, 3);
  EXPECT_EQ(FramesAfterSettling(0), 0u);

  // With nobody answering, the one receive times out.
  SetReceiveTimeOut(50);
  EXPECT_EQ(SendToController({}, ip(), 1), 2);
}

// Anyone can send datagrams to the local port. What does not come from the
// controller's address is no reply: the wait goes on for the controller's.
TEST_F(SenderNet, DatagramsFromAnotherHostAreNoReply) {
  const sockaddr_in local = FreePort(address_);
  BindNetworkCard(ip(), ntohs(local.sin_port));
  const std::string stranger = "127." + address_.substr(address_.rfind('.') + 1) + ".250.1";
  Answerer spoofer(stranger, local, Reply(0x81, '1'));
  SetReceiveTimeOut(150);
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(StartPlay_Net(ip(), 1), 2) << "call " << i;
  sim_->setReplyMode(vexasim::ReplyMode::Refuse2);
  EXPECT_EQ(StartPlay_Net(ip(), 1), 3) << "the controller's own reply among the stranger's";
}

TEST_F(SenderNet, InvalidFrameInTheListSendsNothing) {
  EXPECT_EQ(SendToController({Record(kStartPlay), InvalidBuffer()}, ip(), 1), 1);
  CBuffObj::tagBufferInfo tooLong = Record(kStopPlay);
  tooLong.nBufferLen = 3001;
  EXPECT_EQ(SendToController({tooLong}, ip(), 1), 1);
  EXPECT_EQ(SendToController({Record(kStartPlay), InvalidBuffer()}, ip(), 2), 1);
  EXPECT_EQ(FramesAfterSettling(0), 0u);
  EXPECT_TRUE(sim_->datagrams().empty());
}

TEST_F(SenderNet, NullOrMalformedAddressSendsNothing) {
  char* bad[] = {nullptr, const_cast<char*>(""), const_cast<char*>("1.2.3"),
                 const_cast<char*>("1.2.3.4.5"), const_cast<char*>("300.1.1.1"),
                 const_cast<char*>("localhost"), const_cast<char*>(" 127.0.0.1")};
  for (char* a : bad) {
    for (int mode : {1, 2, 3}) {
      EXPECT_EQ(SendToController({Record(kStartPlay)}, a, mode), 1)
          << (a ? a : "(null)") << " mode " << mode;
    }
  }
  EXPECT_EQ(FramesAfterSettling(0), 0u);
}

// ---------------------------------------------------------------------------
// Stream mode.
TEST_F(SenderNet, StreamSendsAfterTheFirstReceiveTimesOut) {
  std::atomic<long> arrivedAfterMs{-1};
  SetReceiveTimeOut(300);
  const Clock::time_point start = Clock::now();
  sim_->setSink([&](const vexasim::Frame&) {
    if (arrivedAfterMs < 0) arrivedAfterMs = MsSince(start);
  });
  int result = SendToController({Record(kStartPlay)}, ip(), 2);
  sim_->setSink(nullptr);
  EXPECT_EQ(result, 0);
  std::vector<vexasim::Frame> frames = sim_->frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].channel, "tcp");
  EXPECT_EQ(frames[0].raw, kStartPlay);
  EXPECT_GE(arrivedAfterMs.load(), 280);
}

TEST_F(SenderNet, StreamRefusalsAreJudged) {
  SetReceiveTimeOut(100);
  sim_->setReplyMode(vexasim::ReplyMode::Refuse3);
  EXPECT_EQ(SendToController({Record(kStartPlay), Record(kStopPlay)}, ip(), 2), 4);
  ASSERT_TRUE(sim_->waitForFrames(2, 2000));
  EXPECT_EQ(sim_->frames()[0].raw, kStartPlay);
  EXPECT_EQ(sim_->frames()[1].raw, kStopPlay);
}

TEST_F(SenderNet, StreamSilentControllerGivesTwoAfterOneAttempt) {
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  SetReceiveTimeOut(100);
  g_send_times = 3;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 2), 2);
  long took = MsSince(start);
  EXPECT_EQ(FramesAfterSettling(1), 1u);
  // One attempt: two receive time-outs and the pause after the frame.
  EXPECT_GE(took, 200);
  EXPECT_LT(took, 2000);
}

TEST_F(SenderNet, StreamRefusedConnectReturnsOneAtOnce) {
  sim_->stop();  // nothing listens on the stream port now
  SetReceiveTimeOut(2000);
  g_send_times = 3;
  Clock::time_point start = Clock::now();
  int result = SendToController({Record(kStartPlay)}, ip(), 2);
  long took = MsSince(start);
  std::string error;
  ASSERT_TRUE(sim_->start(&error)) << error;
  EXPECT_EQ(result, 1);
  EXPECT_LT(took, 1000);
}

// ---------------------------------------------------------------------------
// Login-link mode over a loopback connection pair: `library` is the end the
// login server would have accepted, `controller` the controller's end.
class LoginLink : public SenderNet {
 protected:
  void SetUp() override {
    SenderNet::SetUp();
    if (HasFatalFailure()) return;
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener_, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(address_.c_str());
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener_, 4), 0);
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    listenAddr_ = a;
  }

  void TearDown() override {
    {
      std::lock_guard<std::mutex> lock(globalMember.clientLock);
      auto& list = globalMember.socketClients;
      for (auto it = list.begin(); it != list.end();) {
        bool ours = false;
        for (const auto& p : pairs_) ours |= it->nSocket == p.library;
        it = ours ? list.erase(it) : it + 1;
      }
    }
    for (const auto& p : pairs_) {
      if (p.library >= 0) close(p.library);
      if (p.controller >= 0) close(p.controller);
    }
    if (listener_ >= 0) close(listener_);
    SenderNet::TearDown();
  }

  struct Pair {
    int library = -1;
    int controller = -1;
  };

  Pair Connect() {
    Pair p;
    p.controller = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(connect(p.controller, reinterpret_cast<sockaddr*>(&listenAddr_),
                      sizeof listenAddr_),
              0);
    p.library = accept(listener_, nullptr, nullptr);
    EXPECT_GE(p.library, 0);
    pairs_.push_back(p);
    return p;
  }

  void AddClient(int fd, const std::string& addr, bool login) {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    globalMember.socketClients.push_back(GlobalMember::tagSocketClient{fd, addr, login, nullptr});
  }

  // Everything readable on fd within ms.
  static Bytes ReadFor(int fd, int ms) {
    Bytes got;
    Clock::time_point start = Clock::now();
    for (;;) {
      long left = ms - MsSince(start);
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
      uint8_t buf[4096];
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  int listener_ = -1;
  sockaddr_in listenAddr_{};
  std::vector<Pair> pairs_;
};

TEST_F(LoginLink, FramesGoOverTheControllersConnection) {
  Pair p = Connect();
  AddClient(p.library, address_, true);
  std::thread controller([&] {
    Bytes got = ReadFor(p.controller, 300);
    EXPECT_EQ(hex(got), hex(kStartPlay) + " " + hex(kStopPlay));
    Bytes reply = Reply(0x81, '1');
    send(p.controller, reply.data(), reply.size(), MSG_NOSIGNAL);
  });
  int result = SendToController({Record(kStartPlay), Record(kStopPlay)}, ip(), 3);
  controller.join();
  EXPECT_EQ(result, 0);
  // Nothing went to the emulator's own ports.
  EXPECT_EQ(FramesAfterSettling(0), 0u);
}

TEST_F(LoginLink, RecordNotLoggedInIsSkipped) {
  Pair notLoggedIn = Connect();
  Pair loggedIn = Connect();
  AddClient(notLoggedIn.library, address_, false);
  AddClient(loggedIn.library, address_, true);
  std::thread controller([&] {
    Bytes got = ReadFor(loggedIn.controller, 300);
    EXPECT_EQ(got, kStartPlay);
    Bytes reply = Reply(0x81, '2');
    send(loggedIn.controller, reply.data(), reply.size(), MSG_NOSIGNAL);
  });
  int result = SendToController({Record(kStartPlay)}, ip(), 3);
  controller.join();
  EXPECT_EQ(result, 3);
  EXPECT_TRUE(ReadFor(notLoggedIn.controller, 50).empty());
}

TEST_F(LoginLink, NoRecordOfTheAddressGivesTwo) {
  Pair p = Connect();
  AddClient(p.library, "10.9.8.7", true);
  SetReceiveTimeOut(2000);
  g_send_times = 2;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 3), 2);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(trace::LastReason(),
            "no controller logged in from " + address_ + "; 1 logged in: 10.9.8.7");
  EXPECT_TRUE(ReadFor(p.controller, 50).empty());
}

TEST_F(LoginLink, SilentPeerGivesTwoWithinTwiceTheReceiveTimeOut) {
  Pair p = Connect();
  AddClient(p.library, address_, true);
  SetReceiveTimeOut(200);
  Clock::time_point start = Clock::now();
  int result = SendToController({Record(kStartPlay)}, ip(), 3);
  long took = MsSince(start);
  EXPECT_EQ(result, 2);
  EXPECT_GE(took, 400);
  EXPECT_LT(took, 1200);
  // The frames were sent a second time after the first receive failed.
  EXPECT_EQ(hex(ReadFor(p.controller, 100)), hex(kStartPlay) + " " + hex(kStartPlay));
}

TEST_F(LoginLink, BytesWaitingBeforeTheSendAreNotTakenForTheReply) {
  // An accepted-looking reply that arrived after an earlier wait ended (or a
  // late answer to the login greeting) is already on the connection.
  Pair p = Connect();
  AddClient(p.library, address_, true);
  Bytes stale = Reply(0x81, '1');
  send(p.controller, stale.data(), stale.size(), MSG_NOSIGNAL);
  usleep(50 * 1000);
  SetReceiveTimeOut(100);
  // The controller stays silent this time: nothing answers these frames.
  EXPECT_EQ(SendToController({Record(kStartPlay)}, ip(), 3), 2);
  EXPECT_EQ(hex(ReadFor(p.controller, 100)), hex(kStartPlay) + " " + hex(kStartPlay));
}

TEST_F(LoginLink, PeerThatClosedItsEndDoesNotKillTheProcess) {
  Pair p = Connect();
  AddClient(p.library, address_, true);
  close(p.controller);
  pairs_.back().controller = -1;
  // The default disposition of SIGPIPE ends the process.
  struct sigaction old {};
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &dfl, &old);
  SetReceiveTimeOut(100);
  g_send_times = 2;
  std::vector<CBuffObj::tagBufferInfo> frames(3, Record(kStartPlay));
  int result = SendToController(frames, ip(), 3);
  sigaction(SIGPIPE, &old, nullptr);
  EXPECT_EQ(result, 2);
}

}  // namespace
