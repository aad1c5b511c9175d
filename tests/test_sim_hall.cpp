// vexa-sim --hall, run as a child process in a temporary working directory:
// every sign of a hall file on this suite's loopback addresses is played
// where the file puts it, reached by the library's own calls, named and
// sized on the sign page; a sign that dials in does so from its own address
// and again after a drop, and signs reporting at once print whole lines; a
// hall with mistakes starts nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SKYREL.h"
#include "SimFixture.h"
#include "model/GlobalMember.h"

namespace {

int LoginPort() {
  const char* p = std::getenv("VEXA_TEST_LOGIN_PORT");
  return p && *p ? std::atoi(p) : 19099;
}

// The suite's further loopback addresses: 127.N.0.n for the suite's 127.0.0.N.
std::string Address(int n) {
  const std::string first = vexasim::TestAddress();
  return "127." + first.substr(first.rfind('.') + 1) + ".0." + std::to_string(n);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool IsLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// vexa-sim with args in a fresh working directory holding hall.toml, its
// output in sim.out and sim.err there; stopped and removed when it goes.
struct Sim {
  std::string dir;
  pid_t pid = -1;
  int status = -1;  // the exit status once ended; -1 when killed
  Sim(const std::string& hall, std::vector<std::string> args) {
    char d[] = "/tmp/vexa-sim-hall-XXXXXX";
    dir = ::mkdtemp(d) ? d : "/nonexistent";
    std::ofstream(dir + "/hall.toml") << hall;
    const char* build = std::getenv("VEXA_BUILD_DIR");
    std::string path = std::filesystem::absolute(std::string(build && *build ? build : ".") + "/sim/vexa-sim");
    std::vector<char*> argv{&path[0]};
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string out = dir + "/sim.out", err = dir + "/sim.err";
    pid = ::fork();
    if (pid == 0) {
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      if (::chdir(dir.c_str()) == 0) ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~Sim() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  // Ends it with SIGTERM unless it ends by itself; the exit status.
  int Stop(bool terminate = true) {
    int st = 0;
    if (pid > 0 && terminate) ::kill(pid, SIGTERM);
    if (pid > 0 && !WaitFor([&] { return ::waitpid(pid, &st, WNOHANG) == pid; })) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &st, 0);
    }
    if (pid > 0) status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    pid = -1;
    return status;
  }
  std::string Out() const { return ReadFile(dir + "/sim.out"); }
  std::string Err() const { return ReadFile(dir + "/sim.err"); }
  bool Printed(const std::string& pattern, bool err = false) const {
    const std::regex line("(^|\n)" + pattern);
    return WaitFor([&] { return std::regex_search(err ? Err() : Out(), line); });
  }
};

// The body of GET /state from the sign page at address:port.
std::string State(const std::string& address, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{AF_INET, htons(uint16_t(port)), {}, {}};
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  std::string got;
  const std::string ask = "GET /state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
    ::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
  char buf[4096];
  for (pollfd pf{fd, POLLIN, 0}; ::poll(&pf, 1, 5000) > 0;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  ::close(fd);
  return got.substr(std::min(got.size(), got.find("\r\n\r\n")));
}

bool LoggedIn(const std::string& address) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  for (const auto& c : globalMember.socketClients)
    if (c.strIp == address) return true;
  return false;
}

// A listening socket on 127.0.0.1 at a port the system picks, standing in
// for the host's login server; its "HOST:PORT" goes into *server.
int ListenForSigns(int backlog, std::string* server) {
  const int host = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof at;
  if (::bind(host, reinterpret_cast<sockaddr*>(&at), len) != 0 || ::listen(host, backlog) != 0 ||
      ::getsockname(host, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    ::close(host);
    return -1;
  }
  *server = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
  return host;
}

TEST(SimHall, EverySignOfTheHallIsPlayedAtItsPlaceNamedAndSized) {
  const std::string front = vexasim::TestAddress(), side = Address(2), back = Address(3);
  const std::string serial = "transport = \"serial\"\nport = 7\n";
  auto networked = [](const std::string& name, const char* transport, const std::string& address, int w, int h) {
    return "[[sign]]\nname = \"" + name + "\"\ntransport = \"" + transport + "\"\naddress = \"" + address +
           "\"\nwidth = " + std::to_string(w) + "\nheight = " + std::to_string(h) + "\n";
  };
  Sim sim("[hall]\nlogin_port = " + std::to_string(LoginPort()) + "\n" + networked("front", "udp", front, 64, 16) +
              networked("side", "tcp", side, 128, 32) + networked("back", "login", back, 96, 16) +
              "[[sign]]\nname = \"desk\"\n" + serial + "bus = \"0_0_0_0_0_0_0_5\"\nwidth = 32\nheight = 16\n" +
              "[[sign]]\nname = \"bar1\"\n" + serial + "bar = true\nbar_address = 1\n" +
              "[[sign]]\nname = \"bar2\"\n" + serial + "bar = true\nbar_address = 2\npage_width = 6\n",
          {"--hall", "hall.toml", "--http", front + ":0"});
  ASSERT_TRUE(sim.Printed("vexa-sim sign page on http://", true)) << sim.Err();
  const std::string err = sim.Err();
  const int httpPort = std::atoi(err.c_str() + err.find(':', err.find("sign page on http://") + 20) + 1);

  // One line, COM7, linked in the working directory to a pseudo-terminal.
  char target[256] = {0};
  ASSERT_GT(::readlink((sim.dir + "/COM7").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;

  // The login sign tried before the host's server was there, and dials in
  // from its own address once it is.
  const std::string server = "127.0.0.1:" + std::to_string(LoginPort());
  ASSERT_TRUE(sim.Printed("vexa-sim back has no connection to " + server, true)) << sim.Err();
  ASSERT_EQ(OpenServer(LoginPort()), 0);
  ASSERT_TRUE(WaitFor([&] { return LoggedIn(back); })) << sim.Err();
  EXPECT_TRUE(sim.Printed("vexa-sim back dialled in to " + server + " from " + back, true));

  std::string local = front, a7 = "A7", b8 = "B8", c9 = "C9", d4 = "D4", e5 = "E5", bus = "5";
  std::string frontIp = front, sideIp = side, backIp = back;
  BindNetworkCard(&local[0], 0);  // not the fixed port 8801, which other suites use
  // The serial line pauses the receive time-out after each frame, and the
  // stream waits it out after the reply: long enough for a loaded machine,
  // with a further attempt, and no longer.
  SetTimeOut(1000, 1000);
  SetReSendTimes(2);
  EXPECT_EQ(SendLineUp_Net(&a7[0], &frontIp[0], 1, 1, 1, 1, false), 0);
  EXPECT_EQ(SendCollectionData_Net(&b8[0], &sideIp[0], 2, 1, 0, 1, 0), 0);
  EXPECT_EQ(SendCollectionData_Net(&c9[0], &backIp[0], 3, 2, 0, 1, 0), 0);
  const std::string here = std::filesystem::current_path();
  ASSERT_EQ(::chdir(sim.dir.c_str()), 0);  // the library opens COM7 of its working directory
  EXPECT_EQ(SendContent2BarScreen_Com(&d4[0], 1, 7, 9600, 2, 1, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_EQ(SendCollectionData_Com(&e5[0], &bus[0], 2, 7, 9600, 3, 0, 1, 0), 0);
  CloseCom();
  ASSERT_EQ(::chdir(here.c_str()), 0);

  // Each frame is printed under the name of the sign it reached.
  for (const char* line :
       {"front  udp  LineUp\\(0x64\\) .*text=\"A7\"", "side  tcp  CollectedData\\(0x65\\) .*text=\"B8\"",
        "back  login  LoginGreeting\\(0x62\\) ", "back  login  CollectedData\\(0x65\\) .*text=\"C9\"",
        "bar2  serial  BarContent\\(0x49\\) bar address=2 ", "desk  serial  .*text=\"E5\""})
    EXPECT_TRUE(sim.Printed(line)) << line << "\n" << sim.Out();
  EXPECT_EQ(sim.Out().find("bar1"), std::string::npos);

  // The sign page names every sign beside its address, at the hall's size
  // (a bar screen's from its page width), showing what reached it.
  std::string state;
  ASSERT_TRUE(WaitFor([&] { return (state = State(front, httpPort)).find("\"E5\"") != std::string::npos; }));
  const struct {
    std::string id, name, kind;
    int width, height;
    std::string shows;
  } signs[] = {
      {front, "front", "controller", 64, 16, "\"text\":\"A7\""},
      {side, "side", "controller", 128, 32, "\"text\":\"B8\""},
      {back, "back", "controller", 96, 16, "\"text\":\"C9\""},
      {"COM7 bus 5", "desk", "bus", 32, 16, "\"text\":\"E5\""},
      {"COM7 bar 1", "bar1", "bar", 64, 16, "\"barPages\":[],"},
      {"COM7 bar 2", "bar2", "bar", 96, 16, "\"barPages\":[{\"page\":1,\"text\":\"D4          \"}]"},
  };
  for (const auto& s : signs) {
    const size_t at = state.find("{\"id\":\"" + s.id + "\",\"name\":\"" + s.name + "\",\"kind\":\"" + s.kind + "\"");
    ASSERT_NE(at, std::string::npos) << s.name << "\n" << state;
    const std::string sign = state.substr(at, state.find("{\"id\":", at + 1) - at);
    EXPECT_NE(sign.find(",\"width\":" + std::to_string(s.width) + ",\"height\":" + std::to_string(s.height) + ","),
              std::string::npos)
        << sign;
    EXPECT_NE(sign.find(s.shows), std::string::npos) << sign;
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(IsLink(sim.dir + "/COM7"));  // stopped, it takes its link along
}

TEST(SimHall, ALoginSignDialsAgainFromItsAddressAfterTheConnectionDropped) {
  // The test's own socket stands in for the host's login server, so that it
  // can drop the connection; --login sends the sign there rather than to
  // the hall's login_port.
  std::string server;
  const int host = ListenForSigns(4, &server);
  ASSERT_GE(host, 0);
  const std::string back = Address(4);
  Sim sim("[hall]\nlogin_port = 9\n[[sign]]\nname = \"back\"\ntransport = \"login\"\naddress = \"" + back +
              "\"\nwidth = 64\nheight = 16\n",
          {"--hall", "hall.toml", "--login", server});
  for (int round = 0; round < 2; ++round) {  // the first connection is dropped
    pollfd pf{host, POLLIN, 0};
    ASSERT_EQ(::poll(&pf, 1, 10000), 1) << "connection " << round + 1 << "\n" << sim.Err();
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    const int fd = ::accept(host, reinterpret_cast<sockaddr*>(&peer), &peerLen);
    char from[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &peer.sin_addr, from, sizeof from);
    EXPECT_EQ(std::string(from), back);
    ::close(fd);
  }
  ::close(host);
  EXPECT_TRUE(sim.Printed("vexa-sim back dialled in to " + server + " from " + back +
                              "\nvexa-sim back has no connection to " + server + "; dialling again every second\n",
                          true))
      << sim.Err();
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimHall, SignsDiallingAtOnceEachPrintWholeLines) {
  // Sixteen login signs dial in, are dropped and dial again, each reporting
  // from a thread of its own at about the same moments: every line on
  // standard error is one sign's whole report.
  std::string server;
  const int host = ListenForSigns(64, &server);
  ASSERT_GE(host, 0);
  std::string hall = "[hall]\nlogin_port = 9\n";
  const int signs = 16;
  for (int k = 1; k <= signs; ++k)
    hall += "[[sign]]\nname = \"s" + std::to_string(k) + "\"\ntransport = \"login\"\naddress = \"" +
            Address(10 + k) + "\"\nwidth = 64\nheight = 16\n";
  Sim sim(hall, {"--hall", "hall.toml", "--login", server});
  int dropped = 0;
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
       std::chrono::steady_clock::now() < end;) {
    pollfd pf{host, POLLIN, 0};
    if (::poll(&pf, 1, 100) == 1) {
      ::close(::accept(host, nullptr, nullptr));
      ++dropped;
    }
  }
  ::close(host);
  EXPECT_EQ(sim.Stop(), 0);
  const std::regex whole("vexa-sim s([0-9]+) (dialled in to " + server + " from (127\\.[0-9.]+)|has no connection to " +
                         server + "; dialling again every second)");
  int lines = 0, broken = 0;
  std::istringstream err(sim.Err());
  for (std::string line; std::getline(err, line); ++lines) {
    std::smatch m;
    const bool ok = std::regex_match(line, m, whole) &&
                    (m[3].length() == 0 || m[3] == Address(10 + std::stoi(m[1])));
    if (!ok && ++broken <= 3) ADD_FAILURE() << "not one sign's line: " << line;
  }
  EXPECT_EQ(broken, 0);
  EXPECT_GE(dropped, signs);
  EXPECT_GE(lines, 2 * signs) << sim.Err();  // each dialled in and was dropped at least once
}

TEST(SimHall, AHallWithMistakesOrClashingOptionsStartsNothing) {
  const std::string bar =
      "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 3\nbar = true\nbar_address = 1\n";
  const std::string bad = "[hall]\ntimeout_ms = 5\n\n[[sign]]\nname = \"front\"\ntransport = \"udp\"\n"
                          "address = \"300.1.1.1\"\nwidth = 64\nheight = 16\n\n" + bar;
  const std::string clash =
      "vexa-sim: --hall places and sizes every sign itself; --address, --size and --serial do not go with it\n"
      "(see vexa-sim --help)\n";
  const struct {
    const std::string& hall;
    std::vector<std::string> args;
    std::string err;  // the whole of standard error
  } cases[] = {
      {bad, {"--hall", "hall.toml"},
       "hall.toml:2:14: \"timeout_ms\" is 5, not within 10 to 600000\n"
       "hall.toml:7:11: \"address\" must be a dotted IPv4 address\n"},
      {bar, {"--hall", "missing.toml"}, "missing.toml: cannot read the file: No such file or directory\n"},
      {bar, {"--hall", "hall.toml", "--address", "127.0.0.1"}, clash},
      {bar, {"--size", "64x16", "--hall", "hall.toml"}, clash},
      {bar, {"--hall", "hall.toml", "--serial", "COM3"}, clash},
      {bar, {"--hall", "hall.toml", "--login", "127.0.0.1"},
       "vexa-sim: --login needs HOST:PORT\n(see vexa-sim --help)\n"},
  };
  for (const auto& c : cases) {
    Sim sim(c.hall, c.args);
    EXPECT_EQ(sim.Stop(false), 2) << c.args[1];
    EXPECT_EQ(sim.Err(), c.err) << c.args[1];
    EXPECT_EQ(sim.Out(), "");
    EXPECT_FALSE(IsLink(sim.dir + "/COM3"));
  }
}

}  // namespace
