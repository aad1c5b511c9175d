// vexa-sim --hall, run as a child process in a temporary working directory:
// every sign of a hall file on this suite's loopback addresses is played
// where the file puts it, reached by the library's own calls, named and
// sized on the sign page; a sign that dials in does so from its own address
// and again after a drop; a hall with mistakes starts nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SKYREL.h"
#include "SimFixture.h"
#include "model/GlobalMember.h"

namespace {

using Strings = std::vector<std::string>;

std::string SimPath() {
  const char* dir = std::getenv("VEXA_BUILD_DIR");
  return std::string(dir && *dir ? dir : ".") + "/sim/vexa-sim";
}

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
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool IsLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A fresh working directory holding hall.toml; removed with everything in it.
struct WorkDir {
  std::string path;
  explicit WorkDir(const std::string& hall) {
    char dir[] = "/tmp/vexa-sim-hall-XXXXXX";
    if (::mkdtemp(dir)) path = dir;
    std::ofstream(path + "/hall.toml") << hall;
  }
  ~WorkDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// vexa-sim with args in dir, its output in dir/sim.out and dir/sim.err.
struct Sim {
  pid_t pid = -1;
  std::string out, err;
  Sim(const Strings& args, const WorkDir& dir) : out(dir / "sim.out"), err(dir / "sim.err") {
    std::string path = SimPath();
    Strings copies = args;
    std::vector<char*> argv{&path[0]};
    for (std::string& a : copies) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string where = dir.path;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      if (::chdir(where.c_str()) != 0) ::_exit(126);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~Sim() { Stop(); }
  // Exit status after SIGTERM (or after ending by itself); -1 when killed.
  int Stop() {
    if (pid < 0) return status_;
    ::kill(pid, SIGTERM);
    return Wait(10000);
  }
  // Waits for the program to end by itself; SIGKILL after ms.
  int Wait(int ms) {
    if (pid < 0) return status_;
    int st = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &st, WNOHANG) == pid; }, ms)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &st, 0);
    }
    pid = -1;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return status_;
  }
  std::string Out() const { return ReadFile(out); }
  std::string Err() const { return ReadFile(err); }
  bool WaitForErr(const std::string& text, int ms = 10000) const {
    return WaitFor([&] { return Err().find(text) != std::string::npos; }, ms);
  }

 private:
  int status_ = -1;
};

// The body of GET /state from the sign page at address:port.
std::string State(const std::string& address, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{AF_INET, htons(uint16_t(port)), {}, {}};
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  std::string got;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string ask = "GET /state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
    char buf[4096];
    for (pollfd pf{fd, POLLIN, 0}; ::poll(&pf, 1, 5000) > 0;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, size_t(n));
    }
  }
  ::close(fd);
  const size_t body = got.find("\r\n\r\n");
  return body == std::string::npos ? "" : got.substr(body + 4);
}

// The JSON object of sign id in a /state body, "" when it has none.
std::string SignIn(const std::string& state, const std::string& id) {
  const size_t at = state.find("{\"id\":\"" + id + "\"");
  if (at == std::string::npos) return "";
  const size_t next = state.find("{\"id\":", at + 1);
  return state.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

// The first line of text that starts with prefix, "" when none does.
std::string LineStarting(const std::string& text, const std::string& prefix) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return "";
}

bool LoggedIn(const std::string& address) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  for (const auto& c : globalMember.socketClients)
    if (c.strIp == address) return true;
  return false;
}

char* C(std::string& s) { return &s[0]; }

TEST(SimHall, EverySignOfTheHallIsPlayedAtItsPlaceNamedAndSized) {
  const std::string front = vexasim::TestAddress(), side = Address(2), back = Address(3);
  WorkDir dir("[hall]\nname = \"Test hall\"\nlogin_port = " + std::to_string(LoginPort()) +
              "\n\n"
              "[[sign]]\nname = \"front\"\ntransport = \"udp\"\naddress = \"" + front +
              "\"\nwidth = 64\nheight = 16\n\n"
              "[[sign]]\nname = \"side\"\ntransport = \"tcp\"\naddress = \"" + side +
              "\"\nwidth = 128\nheight = 32\n\n"
              "[[sign]]\nname = \"back\"\ntransport = \"login\"\naddress = \"" + back +
              "\"\nwidth = 96\nheight = 16\n\n"
              "[[sign]]\nname = \"desk\"\ntransport = \"serial\"\nport = 7\nbus = \"0_0_0_0_0_0_0_5\"\n"
              "width = 32\nheight = 16\n\n"
              "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 7\nbar = true\nbar_address = 1\n\n"
              "[[sign]]\nname = \"bar2\"\ntransport = \"serial\"\nport = 7\nbar = true\nbar_address = 2\n"
              "page_width = 6\n");
  ASSERT_FALSE(dir.path.empty());
  Sim sim({"--hall", "hall.toml", "--http", front + ":0"}, dir);
  ASSERT_TRUE(sim.WaitForErr("sign page on http://")) << sim.Err();
  const std::string err = sim.Err();
  const int httpPort = std::atoi(err.c_str() + err.find(':', err.find("sign page on http://") + 20) + 1);
  ASSERT_GT(httpPort, 0);

  // One line, COM7, linked in the working directory to a pseudo-terminal.
  char target[256] = {0};
  ASSERT_TRUE(IsLink(dir / "COM7"));
  ASSERT_GT(::readlink((dir / "COM7").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;
  EXPECT_FALSE(IsLink(dir / "COM1"));

  // The login sign tried before the host's server was there, and dials in
  // from its own address once it is.
  ASSERT_TRUE(sim.WaitForErr("back has no connection to 127.0.0.1:" + std::to_string(LoginPort())));
  ASSERT_EQ(OpenServer(LoginPort()), 0);
  ASSERT_TRUE(WaitFor([&] { return LoggedIn(back); })) << sim.Err();
  EXPECT_TRUE(sim.WaitForErr("back dialled in to 127.0.0.1:" + std::to_string(LoginPort()) + " from " + back));

  std::string local = vexasim::TestAddress();
  BindNetworkCard(C(local), 0);  // no fixed port 8801, which other suites use
  SetTimeOut(3000, 3000);
  SetReSendTimes(1);
  std::string a7 = "A7", b8 = "B8", c9 = "C9", d4 = "D4", e5 = "E5", bus = "5";
  std::string frontIp = front, sideIp = side, backIp = back;
  EXPECT_EQ(SendLineUp_Net(C(a7), C(frontIp), 1, 1, 1, 1, false), 0);
  EXPECT_EQ(SendCollectionData_Net(C(b8), C(sideIp), 2, 1, 0, 1, 0), 0);
  EXPECT_EQ(SendCollectionData_Net(C(c9), C(backIp), 3, 2, 0, 1, 0), 0);
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir.path.c_str()), 0);  // the library opens COM7 of its working directory
  EXPECT_EQ(SendContent2BarScreen_Com(C(d4), 1, 7, 9600, 2, 1, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_EQ(SendCollectionData_Com(C(e5), C(bus), 2, 7, 9600, 3, 0, 1, 0), 0);
  CloseCom();
  ASSERT_EQ(::chdir(cwd), 0);

  // Each frame is printed under the name of the sign it reached.
  const struct {
    const char* prefix;
    std::string carries;
  } lines[] = {
      {"front  udp  LineUp(0x64)", "text=\"A7\""},
      {"side  tcp  CollectedData(0x65)", "text=\"B8\""},
      {"back  login  LoginGreeting(0x62)", "dateTime="},
      {"back  login  CollectedData(0x65)", "text=\"C9\""},
      {"bar2  serial  BarContent(0x49)", "bar address=2"},
      {"desk  serial  ", "text=\"E5\""},
  };
  for (const auto& l : lines) {
    EXPECT_TRUE(WaitFor([&] { return !LineStarting(sim.Out(), l.prefix).empty(); })) << l.prefix << "\n" << sim.Out();
    const std::string line = LineStarting(sim.Out(), l.prefix);
    EXPECT_NE(line.find(l.carries), std::string::npos) << line;
  }
  EXPECT_EQ(LineStarting(sim.Out(), "bar1"), "");

  // The sign page names every sign beside its address, at the hall's size,
  // showing what reached it and nothing else.
  const struct {
    std::string id, name, kind;
    int width, height;
    const char* shows;  // a text the sign holds, or "" for none
  } signs[] = {
      {front, "front", "controller", 64, 16, "\"text\":\"A7\""},
      {side, "side", "controller", 128, 32, "\"text\":\"B8\""},
      {back, "back", "controller", 96, 16, "\"text\":\"C9\""},
      {"COM7 bus 5", "desk", "bus", 32, 16, "\"text\":\"E5\""},
      {"COM7 bar 1", "bar1", "bar", 64, 16, ""},
      {"COM7 bar 2", "bar2", "bar", 96, 16, "\"barPages\":[{\"page\":1,\"text\":\"D4          \"}]"},
  };
  std::string state;
  ASSERT_TRUE(WaitFor([&] {
    state = State(front, httpPort);
    return SignIn(state, "COM7 bus 5").find("E5") != std::string::npos;
  })) << state;
  for (const auto& s : signs) {
    const std::string sign = SignIn(state, s.id);
    const std::regex head("\\{\"id\":\"" + s.id + "\",\"name\":\"" + s.name + "\",\"kind\":\"" + s.kind +
                          "\",\"changes\":\\d+,\"width\":" + std::to_string(s.width) +
                          ",\"height\":" + std::to_string(s.height) + ",.*");
    EXPECT_TRUE(std::regex_match(sign, head)) << s.name << ": " << sign.substr(0, 120);
    if (*s.shows) {
      EXPECT_NE(sign.find(s.shows), std::string::npos) << s.name << ": " << sign;
    }
  }
  EXPECT_NE(SignIn(state, "COM7 bar 1").find("\"barPages\":[]"), std::string::npos);
  EXPECT_EQ(state.find("\"id\":\"bar 2\""), std::string::npos);  // no sign outside the line's

  // Stopped, it takes its link along.
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(IsLink(dir / "COM7"));
}

TEST(SimHall, ALoginSignDialsAgainAfterTheConnectionDropped) {
  // A host of the test's own stands in for the login server, so that it can
  // drop the connection; --login sends the sign there rather than to the
  // hall's login_port.
  const std::string back = Address(4);
  int host = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{AF_INET, 0, {}, {}};
  ::inet_pton(AF_INET, "127.0.0.1", &at.sin_addr);
  ASSERT_EQ(::bind(host, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::listen(host, 4), 0);
  socklen_t len = sizeof at;
  ::getsockname(host, reinterpret_cast<sockaddr*>(&at), &len);
  const int port = ntohs(at.sin_port);
  WorkDir dir("[hall]\nlogin_port = 9\n\n[[sign]]\nname = \"back\"\ntransport = \"login\"\naddress = \"" + back +
              "\"\nwidth = 64\nheight = 16\n");
  Sim sim({"--hall", "hall.toml", "--login", "127.0.0.1:" + std::to_string(port)}, dir);

  // Each connection comes from the sign's address; the first is dropped.
  for (int round = 0; round < 2; ++round) {
    pollfd pf{host, POLLIN, 0};
    ASSERT_EQ(::poll(&pf, 1, 10000), 1) << "connection " << round + 1 << "\n" << sim.Err();
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    const int fd = ::accept(host, reinterpret_cast<sockaddr*>(&peer), &peerLen);
    ASSERT_GE(fd, 0);
    char from[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &peer.sin_addr, from, sizeof from);
    EXPECT_EQ(std::string(from), back);
    ::close(fd);
  }
  ::close(host);
  const std::string dialled = "back dialled in to 127.0.0.1:" + std::to_string(port) + " from " + back;
  const std::string err = sim.Err();
  const size_t first = err.find(dialled);
  ASSERT_NE(first, std::string::npos) << err;
  EXPECT_NE(err.find("back has no connection to", first), std::string::npos) << err;
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimHall, AHallWithMistakesOrClashingOptionsStartsNothing) {
  WorkDir dir("[hall]\ntimeout_ms = 5\n\n[[sign]]\nname = \"front\"\ntransport = \"udp\"\n"
              "address = \"300.1.1.1\"\nwidth = 64\nheight = 16\n\n"
              "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 3\nbar = true\nbar_address = 1\n");
  std::ofstream(dir / "good.toml") << "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 3\nbar = true\n"
                                      "bar_address = 1\n";
  const struct {
    Strings args;
    std::string err;  // the whole of standard error
  } cases[] = {
      {{"--hall", "hall.toml"},
       "hall.toml:2:14: \"timeout_ms\" is 5, not within 10 to 600000\n"
       "hall.toml:7:11: \"address\" must be a dotted IPv4 address\n"},
      {{"--hall", "missing.toml"}, "missing.toml: cannot read the file: No such file or directory\n"},
      {{"--hall", "good.toml", "--address", "127.0.0.1"},
       "vexa-sim: --hall places and sizes every sign itself; --address, --size and --serial do not go with it\n"
       "(see vexa-sim --help)\n"},
      {{"--size", "64x16", "--hall", "good.toml"},
       "vexa-sim: --hall places and sizes every sign itself; --address, --size and --serial do not go with it\n"
       "(see vexa-sim --help)\n"},
      {{"--hall", "good.toml", "--serial", "COM3"},
       "vexa-sim: --hall places and sizes every sign itself; --address, --size and --serial do not go with it\n"
       "(see vexa-sim --help)\n"},
      {{"--hall", "good.toml", "--login", "127.0.0.1"}, "vexa-sim: --login needs HOST:PORT\n(see vexa-sim --help)\n"},
      {{"--hall"}, "vexa-sim: --hall needs a file\n(see vexa-sim --help)\n"},
  };
  for (const auto& c : cases) {
    Sim sim(c.args, dir);
    EXPECT_EQ(sim.Wait(10000), 2) << c.args.back();
    EXPECT_EQ(sim.Err(), c.err) << c.args.back();
    EXPECT_EQ(sim.Out(), "");
    EXPECT_FALSE(IsLink(dir / "COM3"));
  }
}

}  // namespace
