// The login server: controllers that dial in are greeted with the clock,
// recorded in the client list and reached in login-link mode (mode 3).
//
// The server thread lives for the rest of the process, so this executable
// opens its login port (VEXA_TEST_LOGIN_PORT) once and every test logs in
// controllers from its own loopback source addresses. Port + 1 is used by
// the restart test, which runs a first server in a child process.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LoginDialer.h"
#include "ProcessStats.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "TestClock.h"
#include "VexaSim.h"
#include "core/Clock.h"
#include "model/GlobalMember.h"
#include "vexa.h"

extern char** environ;

namespace {

using vexasim::LoginDialer;
using Clock = std::chrono::steady_clock;
using Record = GlobalMember::tagSocketClient;

constexpr int kGenerousMs = 10000;

int LoginPort() {
  const char* p = std::getenv("VEXA_TEST_LOGIN_PORT");
  return p && *p ? std::atoi(p) : 19099;
}

// A loopback source address of this suite: 127.<suite octet>.<group>.<n>, so
// that no two tests (and no two suites) log in from the same address.
std::string Source(int group, int n) {
  std::string suite = vexasim::TestAddress();
  std::string octet = suite.substr(suite.rfind('.') + 1);
  return "127." + octet + "." + std::to_string(group) + "." + std::to_string(n);
}

void OpenSuiteServer() {
  static std::once_flag once;
  std::call_once(once, [] { ASSERT_EQ(OpenServer(LoginPort()), 0); });
}

std::vector<Record> Clients() {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  return globalMember.socketClients;
}

// The records of the given addresses, in list order.
std::vector<Record> ClientsAmong(const std::vector<std::string>& addresses) {
  std::vector<Record> out;
  for (const Record& r : Clients()) {
    if (std::find(addresses.begin(), addresses.end(), r.strIp) != addresses.end()) {
      out.push_back(r);
    }
  }
  return out;
}

// Waits until the list holds a record of `address` whose descriptor is not
// `notSocket`; returns that record's descriptor or -1.
int WaitRecorded(const std::string& address, int notSocket = -1, int timeoutMs = kGenerousMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    for (const Record& r : Clients()) {
      if (r.strIp == address && r.nSocket != notSocket) return r.nSocket;
    }
    if (Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Connects, retrying while the server is not yet listening.
bool Dial(LoginDialer& d, int port, int timeoutMs = kGenerousMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!d.connect("127.0.0.1", port)) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Dials in and waits until the controller is recorded; its descriptor.
int LogIn(LoginDialer& d, int port = LoginPort()) {
  if (!Dial(d, port)) return -1;
  return WaitRecorded(d.source());
}

long MsBetween(Clock::time_point a, Clock::time_point b) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count());
}

char* Ip(const std::string& s) { return const_cast<char*>(s.c_str()); }

class LoginServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BindNetworkCard(Ip(vexasim::TestAddress()), 0);
    SetTimeOut(3000, 3000);
    SetReSendTimes(0);
    SetLocalTimeSource(&Dec6At140307);

    OpenSuiteServer();
  }
  void TearDown() override { SetLocalTimeSource(nullptr); }
};

// ---------------------------------------------------------------------------
TEST_F(LoginServerTest, GreetsOnceThenLoginLinkReachesTheController) {
  EXPECT_EQ(g_serverPort, LoginPort());
  vexasim::Options o = vexasim::TestOptions();
  o.udp = false;
  o.tcp = false;
  vexasim::Emulator controller(o);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
  bool connected = false;
  while (!(connected = controller.connectLogin("127.0.0.1", LoginPort())) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(connected);
  ASSERT_TRUE(controller.waitForGreetings(1, kGenerousMs));
  ASSERT_GE(WaitRecorded("127.0.0.1"), 0);

  // Magic, length 42, command 0x62, sub-code 0, three zeros, payload length
  // 23, "1#", "2026120600140307", "#050#", end mark.
  const std::vector<uint8_t> expected = vexasim::bytesOf(
      "FE 5C 4B 89 2A 00 00 00 62 00 00 00 00 17 00 00 00"
      " 31 23 32 30 32 36 31 32 30 36 30 30 31 34 30 33 30 37 23 30 35 30 23 FF FF");
  std::vector<vexasim::Frame> greetings = controller.greetings();
  ASSERT_EQ(greetings.size(), 1u);
  EXPECT_EQ(vexasim::hex(greetings[0].raw), vexasim::hex(expected));
  EXPECT_TRUE(greetings[0].checksOk) << greetings[0].error;

  std::vector<Record> mine = ClientsAmong({"127.0.0.1"});
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_TRUE(mine[0].bLogin);
  EXPECT_GT(mine[0].nSocket, 0);

  EXPECT_EQ(PlayShowPage_Net(Ip("127.0.0.1"), 3, 1), 0);
  ASSERT_TRUE(controller.waitForFrames(1, kGenerousMs));
  std::vector<vexasim::Frame> frames = controller.frames();
  ASSERT_EQ(frames.size(), 1u);  // no second greeting came after the first
  EXPECT_EQ(frames[0].command, 0x66);
  EXPECT_EQ(controller.greetings().size(), 1u);
}

TEST_F(LoginServerTest, ControllersAreRecordedInLoginOrderAndEachIsReachable) {
  LoginDialer first(Source(1, 1));
  LoginDialer second(Source(1, 2));
  ASSERT_TRUE(Dial(first, LoginPort()));
  ASSERT_TRUE(first.waitForGreetings(1, kGenerousMs));
  ASSERT_TRUE(Dial(second, LoginPort()));
  ASSERT_GE(WaitRecorded(second.source()), 0);

  std::vector<Record> mine = ClientsAmong({first.source(), second.source()});
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[0].strIp, first.source());
  EXPECT_EQ(mine[1].strIp, second.source());
  EXPECT_TRUE(mine[0].bLogin && mine[1].bLogin);
  EXPECT_NE(mine[0].nSocket, mine[1].nSocket);

  EXPECT_EQ(PlayShowPage_Net(Ip(second.source()), 3, 2), 0);
  EXPECT_EQ(PlayShowPage_Net(Ip(first.source()), 3, 3), 0);
  ASSERT_TRUE(first.waitForFrames(1, kGenerousMs));
  ASSERT_TRUE(second.waitForFrames(1, kGenerousMs));
  EXPECT_EQ(first.frames().size(), 1u);
  EXPECT_EQ(second.frames().size(), 1u);
  EXPECT_EQ(first.greetings().size(), 1u);
  EXPECT_EQ(second.greetings().size(), 1u);
}

TEST_F(LoginServerTest, ReconnectReplacesTheRecordAtTheEndAndClosesTheOldConnection) {
  const std::string a = Source(2, 1);
  const std::string b = Source(2, 2);
  LoginDialer firstA(a);
  LoginDialer onlyB(b);
  const int oldSocket = LogIn(firstA);
  ASSERT_GE(oldSocket, 0);
  ASSERT_GE(LogIn(onlyB), 0);

  LoginDialer againA(a);
  ASSERT_TRUE(Dial(againA, LoginPort()));
  const int newSocket = WaitRecorded(a, oldSocket);
  ASSERT_GE(newSocket, 0);
  ASSERT_TRUE(againA.waitForGreetings(1, kGenerousMs));

  std::vector<Record> mine = ClientsAmong({a, b});
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[0].strIp, b);
  EXPECT_EQ(mine[1].strIp, a);
  EXPECT_EQ(mine[1].nSocket, newSocket);
  EXPECT_TRUE(mine[1].bLogin);
  EXPECT_EQ(againA.greetings().size(), 1u);

  // Login-link mode now uses the new connection; the replaced one is closed.
  EXPECT_EQ(PlayShowPage_Net(Ip(a), 3, 4), 0);
  ASSERT_TRUE(againA.waitForFrames(1, kGenerousMs));
  EXPECT_EQ(againA.frames()[0].command, 0x66);
  EXPECT_TRUE(firstA.frames().empty());
  EXPECT_TRUE(WaitUntil([&] { return !firstA.peerStillOpen(); }))
      << "the replaced connection was left open";
}

// However the first controller treats its greeting, the next one is greeted
// at once, while the first still has its time to answer. The first is
// recorded once it answered or had its time; one that hung up is not.
struct AnswerCase {
  const char* name;
  LoginDialer::Greeting greeting;
  bool recorded;
};

class AnswerWait : public LoginServerTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerWait, NextControllerIsNotHeldUpByTheFirst) {
  static int group = 10;
  ++group;
  const AnswerCase& c = GetParam();
  LoginDialer first(Source(group, 1), c.greeting);
  LoginDialer next(Source(group, 2));
  ASSERT_TRUE(Dial(first, LoginPort()));
  ASSERT_TRUE(first.waitForGreetings(1, kGenerousMs));
  ASSERT_TRUE(Dial(next, LoginPort()));
  ASSERT_TRUE(next.waitForGreetings(1, kGenerousMs));
  EXPECT_LT(MsBetween(first.connectedAt(), next.greetedAt()), VEXA_LOGIN_ANSWER_WAIT_MS - 500);
  ASSERT_GE(WaitRecorded(next.source()), 0);

  if (c.recorded) {
    ASSERT_GE(WaitRecorded(first.source(), -1, VEXA_LOGIN_ANSWER_WAIT_MS + kGenerousMs), 0);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(ClientsAmong({first.source()}).empty()) << "a hung-up client was recorded";
  }
}

INSTANTIATE_TEST_SUITE_P(
    LoginServer, AnswerWait,
    ::testing::Values(AnswerCase{"answers", LoginDialer::Greeting::Answer, true},
                      AnswerCase{"hangs_up", LoginDialer::Greeting::HangUp, false},
                      AnswerCase{"stays_silent", LoginDialer::Greeting::Silent, true}),
    [](const ::testing::TestParamInfo<AnswerCase>& i) { return std::string(i.param.name); });

TEST_F(LoginServerTest, SilentClientsDelayNoGoodController) {
  std::vector<std::unique_ptr<LoginDialer>> silent;
  for (int i = 0; i < 10; ++i) {
    silent.push_back(
        std::make_unique<LoginDialer>(Source(20, i + 1), LoginDialer::Greeting::Silent));
    ASSERT_TRUE(Dial(*silent.back(), LoginPort()));
  }
  LoginDialer good(Source(20, 100));
  ASSERT_TRUE(Dial(good, LoginPort()));
  ASSERT_TRUE(good.waitForGreetings(1, kGenerousMs));
  // Ten accepts with their pauses come first; no answer wait does.
  EXPECT_LT(MsBetween(good.connectedAt(), good.greetedAt()), VEXA_LOGIN_ANSWER_WAIT_MS - 500);
  EXPECT_GE(WaitRecorded(good.source()), 0);
}

TEST_F(LoginServerTest, HungUpControllersLeaveTheListAndTheirConnectionsClose) {
  const int before = OpenDescriptors();
  for (int round = 0; round < 20; ++round) {
    // Half of the rounds from one address, half from addresses of their own.
    LoginDialer d(Source(21, round < 10 ? 1 : round + 1));
    ASSERT_GE(LogIn(d), 0);
    d.close();
    ASSERT_TRUE(WaitUntil([&] { return ClientsAmong({d.source()}).empty(); }))
        << "round " << round << ": the hung-up controller is still listed";
  }
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() <= before + 2; }))
      << OpenDescriptors() - before << " more descriptors than before";
}

TEST_F(LoginServerTest, OpenServerOnThePortInUseReturnsZeroAndTheFirstServerGoesOn) {
  LoginDialer before(Source(3, 1));
  ASSERT_GE(LogIn(before), 0);
  const std::vector<Record> listed = Clients();

  EXPECT_EQ(OpenServer(LoginPort()), 0);
  EXPECT_EQ(g_serverPort, LoginPort());

  LoginDialer after(Source(3, 2));
  ASSERT_GE(LogIn(after), 0);
  // Nothing was cleared: the earlier records are all still there, in order,
  // with the new one after them.
  std::vector<Record> now = Clients();
  ASSERT_EQ(now.size(), listed.size() + 1);
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(now[i].strIp, listed[i].strIp);
    EXPECT_EQ(now[i].nSocket, listed[i].nSocket);
  }
  EXPECT_EQ(now.back().strIp, after.source());
  EXPECT_EQ(PlayShowPage_Net(Ip(before.source()), 3, 5), 0);
}

TEST_F(LoginServerTest, CloseServerChangesNothingAndLaterLoginsWork) {
  LoginDialer before(Source(4, 1));
  ASSERT_GE(LogIn(before), 0);
  const std::vector<Record> listed = Clients();

  EXPECT_EQ(CloseServer(), 0);
  std::vector<Record> now = Clients();
  ASSERT_EQ(now.size(), listed.size());
  for (size_t i = 0; i < listed.size(); ++i) EXPECT_EQ(now[i].nSocket, listed[i].nSocket);

  LoginDialer after(Source(4, 2));
  ASSERT_GE(LogIn(after), 0);
  EXPECT_EQ(PlayShowPage_Net(Ip(after.source()), 3, 6), 0);
  EXPECT_EQ(PlayShowPage_Net(Ip(before.source()), 3, 6), 0);
}

TEST_F(LoginServerTest, PortsOutsideTheRangeAreRefusedAndNothingListens) {
  for (int port : {70000, 65536, 0, -1, -65535}) {
    EXPECT_EQ(OpenServer(port), 1) << port;
    EXPECT_EQ(vexa_last_reason(),
              "login server port " + std::to_string(port) + " is outside 1 to 65535");
  }
  // 70000 would have listened on its low 16 bits, 4464.
  LoginDialer probe(Source(5, 1));
  EXPECT_FALSE(probe.connect("127.0.0.1", 70000 & 0xFFFF));
  EXPECT_EQ(g_serverPort, LoginPort());
}

TEST_F(LoginServerTest, ASecondServerOnAnotherPortKeepsTheRecordedControllers) {
  LoginDialer first(Source(6, 1));
  const int socketOfFirst = LogIn(first);
  ASSERT_GE(socketOfFirst, 0);
  const int other = LoginPort() + 4;
  ASSERT_EQ(OpenServer(other), 0);
  LoginDialer second(Source(6, 2));
  ASSERT_GE(LogIn(second, other), 0);
  const std::vector<Record> both = ClientsAmong({first.source(), second.source()});
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].nSocket, socketOfFirst);
  EXPECT_EQ(PlayShowPage_Net(Ip(first.source()), 3, 2), 0);
  EXPECT_EQ(PlayShowPage_Net(Ip(second.source()), 3, 2), 0);
}

TEST_F(LoginServerTest, OneAddressGetsAFewWaitingConnectionsAndNoMore) {
  std::vector<std::unique_ptr<LoginDialer>> same;
  for (int i = 0; i < 8; ++i) {
    same.push_back(std::make_unique<LoginDialer>(Source(8, 1), LoginDialer::Greeting::Silent));
    ASSERT_TRUE(Dial(*same.back(), LoginPort()));
  }
  // Four are greeted, one pause apart; the others are closed at once,
  // ungreeted.
  ASSERT_TRUE(WaitUntil([&] {
    size_t done = 0;
    for (auto& d : same) done += !d->greetings().empty() || !d->peerStillOpen();
    return done == same.size();
  }));
  size_t greeted = 0;
  for (auto& d : same) {
    if (d->greetings().empty()) {
      EXPECT_FALSE(d->peerStillOpen());
    } else {
      ++greeted;
    }
  }
  EXPECT_EQ(greeted, 4u);
}

TEST_F(LoginServerTest, AGoodControllerIsGreetedBeforeSilentOnesAheadOfItAreGivenUp) {
  // A hundred silent dial-ins ahead of it: had each held the next for a
  // pause, the good controller would come after their answer wait ran out
  // and the first of them were recorded.
  std::vector<std::unique_ptr<LoginDialer>> silent;
  std::vector<std::string> silentSources;
  for (int i = 0; i < 100; ++i) {
    silent.push_back(std::make_unique<LoginDialer>(Source(30 + i / 50, i % 50 + 1),
                                                   LoginDialer::Greeting::Silent));
    silentSources.push_back(silent.back()->source());
    ASSERT_TRUE(Dial(*silent.back(), LoginPort()));
  }
  LoginDialer good(Source(32, 1));
  ASSERT_TRUE(Dial(good, LoginPort()));
  ASSERT_TRUE(good.waitForGreetings(1, kGenerousMs));
  EXPECT_TRUE(ClientsAmong(silentSources).empty()) << "silent dial-ins were given up first";
  EXPECT_GE(WaitRecorded(good.source()), 0);
}

TEST_F(LoginServerTest, LoginLinkSendersRunWhileControllersLogIn) {
  constexpr int kSenders = 4;
  constexpr int kSendsEach = 5;
  std::vector<std::unique_ptr<LoginDialer>> reached;
  for (int i = 0; i < kSenders; ++i) {
    reached.push_back(std::make_unique<LoginDialer>(Source(5, i + 1)));
    ASSERT_GE(LogIn(*reached.back()), 0);
  }

  std::atomic<int> failures{0};
  std::vector<std::thread> senders;
  for (int i = 0; i < kSenders; ++i) {
    senders.emplace_back([&, i] {
      std::string ip = reached[static_cast<size_t>(i)]->source();
      for (int k = 0; k < kSendsEach; ++k) {
        if (PlayShowPage_Net(Ip(ip), 3, k + 1) != 0) ++failures;
      }
    });
  }
  std::vector<std::unique_ptr<LoginDialer>> arriving;
  for (int i = 0; i < 3; ++i) {
    arriving.push_back(std::make_unique<LoginDialer>(Source(6, i + 1)));
    EXPECT_GE(LogIn(*arriving.back()), 0);
  }
  for (auto& t : senders) t.join();

  EXPECT_EQ(failures.load(), 0);
  for (auto& d : reached) {
    ASSERT_TRUE(d->waitForFrames(kSendsEach, kGenerousMs));
    EXPECT_EQ(d->frames().size(), static_cast<size_t>(kSendsEach));
  }
  for (auto& d : arriving) EXPECT_EQ(d->greetings().size(), 1u);
}

// ---------------------------------------------------------------------------
// Restart: a first application (a child process) serves port + 1 and dies
// with a controller's connection open; its port is left with a connection in
// TIME_WAIT. The restarted application (this process) must be able to listen
// there again at once.
constexpr const char* kChildPortVariable = "VEXA_LOGIN_CHILD_PORT";

// In the child process the first application runs here, before any test:
// it serves the port it is given until it is killed.
//
// With kScarceVariable set as well, the child runs its server with only a
// few descriptors to spare.
constexpr const char* kScarceVariable = "VEXA_LOGIN_CHILD_SCARCE";

// With kCappedVariable set (an emulator address), the child runs with a
// descriptor limit of 64; on SIGUSR1 it sends one command by datagram and
// one by stream to that address and exits with 10 x the first result plus
// the second.
constexpr const char* kCappedVariable = "VEXA_LOGIN_CHILD_SEND_TO";

std::atomic<bool> go{false};
void Go(int) { go = true; }

// Takes every free descriptor; returns them.
std::vector<int> TakeEveryDescriptor() {
  std::vector<int> taken;
  for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
  return taken;
}

// Waits for SIGUSR1; a child whose test has gone away ends after a minute.
void WaitForGo() {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (!go) {
    if (Clock::now() > deadline) _exit(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class FirstApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* port = std::getenv(kChildPortVariable);
    if (port == nullptr) return;
    signal(SIGUSR1, Go);
    const char* sendTo = std::getenv(kCappedVariable);
    if (sendTo != nullptr) {
      rlimit limit{};
      getrlimit(RLIMIT_NOFILE, &limit);
      limit.rlim_cur = 64;
      if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(3);
    }
    if (OpenServer(std::atoi(port)) != 0) _exit(2);
    if (sendTo != nullptr) {
      WaitForGo();
      SetReceiveTimeOut(3000);
      const int datagram = StartPlay_Net(Ip(sendTo), 1);
      const int stream = StartPlay_Net(Ip(sendTo), 2);
      _exit(datagram * 10 + stream);
    }
    if (std::getenv(kScarceVariable) != nullptr) {
      // Every descriptor taken, until told to let them go.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const std::vector<int> taken = TakeEveryDescriptor();
      WaitForGo();
      for (int fd : taken) close(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(60));
    _exit(0);
  }
};

// Starts this test program as a child that serves `port`, with these
// variables besides; its process id.
pid_t SpawnServingChild(int port, bool scarce, std::vector<std::string> extra = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back(std::string(kChildPortVariable) + "=" + std::to_string(port));
  if (scarce) env.push_back(std::string(kScarceVariable) + "=1");
  for (std::string& v : extra) env.push_back(std::move(v));
  std::vector<char*> envp;
  for (auto& s : env) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  char* argv[] = {&self[0], nullptr};
  pid_t child = -1;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  return child;
}

// Processor time a process has used so far, in clock ticks.
long CpuTicks(pid_t pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (f == nullptr) return -1;
  char text[1024] = {};
  const size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  // Fields after the command name in parentheses; utime and stime are the
  // 14th and 15th fields of the line.
  const char* p = std::strrchr(text, ')');
  if (n == 0 || p == nullptr) return -1;
  long utime = 0, stime = 0;
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime) !=
      2)
    return -1;
  return utime + stime;
}
::testing::Environment* const kFirstApplication =
    ::testing::AddGlobalTestEnvironment(new FirstApplication);

TEST_F(LoginServerTest, RestartedApplicationListensOnItsPortAgainAtOnce) {
  const int port = LoginPort() + 1;
  const pid_t child = SpawnServingChild(port, false);
  ASSERT_GT(child, 0);

  {
    // Silent: no unread answer at the first application when it dies, so its
    // side closes the connection in order and keeps it in TIME_WAIT.
    LoginDialer toFirst(Source(7, 1), LoginDialer::Greeting::Silent);
    const bool dialled = Dial(toFirst, port);
    const bool greeted = dialled && toFirst.waitForGreetings(1, kGenerousMs);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(greeted) << "the first application never greeted";
    toFirst.close();
  }

  ASSERT_EQ(OpenServer(port), 0);
  LoginDialer toRestarted(Source(7, 2));
  ASSERT_TRUE(Dial(toRestarted, port, 3000)) << "port " << port << " could not be listened on again";
  ASSERT_TRUE(toRestarted.waitForGreetings(1, kGenerousMs));
  EXPECT_GE(WaitRecorded(toRestarted.source()), 0);
}

// Out of descriptors: the server pauses between failed accepts instead of
// spinning, and serves controllers again once descriptors are free.
TEST_F(LoginServerTest, OutOfDescriptorsTheServerWaitsAndRecovers) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own in the starved child";
#endif
  const int port = LoginPort() + 2;
  const pid_t child = SpawnServingChild(port, true);
  ASSERT_GT(child, 0);
  std::vector<std::unique_ptr<LoginDialer>> crowd;
  for (int i = 0; i < 8; ++i) {
    crowd.push_back(
        std::make_unique<LoginDialer>(Source(22, i + 1), LoginDialer::Greeting::Silent));
    ASSERT_TRUE(Dial(*crowd.back(), port));
  }
  // More connections than the child can accept are waiting now.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long ticksBefore = CpuTicks(child);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long ticks = CpuTicks(child) - ticksBefore;
  // A spinning accept loop uses a whole core (sysconf(_SC_CLK_TCK) ticks a
  // second); the paused one next to nothing.
  EXPECT_LT(ticks, sysconf(_SC_CLK_TCK) / 4) << "ticks of processor time in one second";

  crowd.clear();
  kill(child, SIGUSR1);  // the child lets its descriptors go
  LoginDialer later(Source(22, 100));
  ASSERT_TRUE(Dial(later, port));
  EXPECT_TRUE(later.waitForGreetings(1, kGenerousMs)) << "not served again";
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
}

// Idle dial-ins never take the descriptors commands need: with a limit of
// 64, seventy silent controllers dial in, and the application still sends
// by datagram and by stream; the trace says which dial-ins were closed.
TEST_F(LoginServerTest, IdleDialInsLeaveDescriptorsForCommands) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own in the capped child";
#endif
  vexasim::Emulator sim(vexasim::TestOptions());
  std::string why;
  ASSERT_TRUE(sim.start(&why)) << why;
  char tracePath[] = "/tmp/vexa-login-trace-XXXXXX";
  const int traceFd = mkstemp(tracePath);
  ASSERT_GE(traceFd, 0);
  close(traceFd);
  const int port = LoginPort() + 3;
  const pid_t child = SpawnServingChild(
      port, false,
      {std::string(kCappedVariable) + "=" + vexasim::TestAddress(),
       std::string("VEXA_TRACE=") + tracePath});
  ASSERT_GT(child, 0);
  // Whatever happens below, the child does not outlive the test.
  bool reaped = false;
  std::shared_ptr<void> reap(nullptr, [&](void*) {
    if (reaped) return;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  });
  std::vector<std::unique_ptr<LoginDialer>> idle;
  for (int i = 0; i < 70; ++i) {
    idle.push_back(std::make_unique<LoginDialer>(Source(23 + i / 50, i % 50 + 1),
                                                 LoginDialer::Greeting::Silent));
    ASSERT_TRUE(Dial(*idle.back(), port));
  }
  // Every dial-in has been taken in or turned away.
  ASSERT_TRUE(WaitUntil([&] {

    for (auto& d : idle) {
      if (d->greetings().empty() && d->peerStillOpen()) return false;
    }
    return true;
  }));
  kill(child, SIGUSR1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  reaped = true;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 x the datagram result + the stream result";
  std::ifstream trace(tracePath);
  const std::string text((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("a quarter of the descriptor limit is kept for commands"), std::string::npos)
      << text;
  unlink(tracePath);
}

}  // namespace
