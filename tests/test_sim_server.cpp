// vexa-sim as a server, run as a child process: what clients of its sign
// page can make it hold, and that its controller port stays served.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProcessStats.h"
#include "SimFixture.h"

using namespace vexasim;

namespace {

const char kStartPlay[] = "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF";
const char kAcceptReply[] = "FE 5C 4B 89 14 00 00 00 81 00 00 00 00 01 00 00 00 31 FF FF";

// vexa-sim on this suite's address with its sign page on a free port, the
// descriptor limit set; stopped when it goes.
struct SimProcess {
  pid_t pid = -1;
  int httpPort = 0;
  std::string log = "sim-server-" + std::to_string(::getpid()) + ".log";

  SimProcess(rlim_t descriptors) {
    const char* dir = std::getenv("VEXA_BUILD_DIR");
    std::string path = std::string(dir && *dir ? dir : ".") + "/sim/vexa-sim";
    std::string args[] = {path, "--address", TestAddress(), "--size", "64x16", "--http", TestAddress() + ":0"};
    char* argv[] = {&args[0][0], &args[1][0], &args[2][0], &args[3][0], &args[4][0], &args[5][0], &args[6][0], nullptr};
    pid = ::fork();
    if (pid == 0) {
      const rlimit lim{descriptors, descriptors};
      ::setrlimit(RLIMIT_NOFILE, &lim);
      ::dup2(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      ::dup2(::open("/dev/null", O_WRONLY), 1);
      ::execv(path.c_str(), argv);
      ::_exit(127);
    }
    WaitUntil([&] {
      std::ifstream in(log);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const size_t at = text.find("sign page on http://");
      if (at != std::string::npos) httpPort = std::atoi(text.c_str() + text.find(':', at + 20) + 1);
      return httpPort > 0;
    });
  }
  ~SimProcess() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::remove(log.c_str());
  }
  int descriptors() const {
    int n = -2;  // "." and ".."
    if (DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
      while (::readdir(d)) ++n;
      ::closedir(d);
    }
    return n;
  }
  long residentKb() const {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key && key != "VmRSS:") {
    }
    long kb = -1;
    in >> kb;
    return kb;
  }
};

int connectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{AF_INET, htons(uint16_t(port)), {}, {}};
  ::inet_pton(AF_INET, TestAddress().c_str(), &to.sin_addr);
  return ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ? fd : (::close(fd), -1);
}

// What fd receives until it is closed, quiet for waitMs or holds `enough`;
// "<closed>" ends the text of a connection the server closed.
std::string receive(int fd, int waitMs, const std::string& enough = "") {
  std::string got;
  char buf[4096];
  pollfd pf{fd, POLLIN, 0};
  while ((enough.empty() || got.find(enough) == std::string::npos) && ::poll(&pf, 1, waitMs) > 0) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return got + "<closed>";
    got.append(buf, size_t(n));
  }
  return got;
}

// The status codes of the answers in text, then "closed" or "open".
std::string statuses(const std::string& text) {
  std::string s;
  const std::regex status("HTTP/1.1 ([0-9]{3})");
  for (std::sregex_iterator it(text.begin(), text.end(), status), end; it != end; ++it) s += (*it)[1].str() + " ";
  return s + (text.size() >= 8 && text.compare(text.size() - 8, 8, "<closed>") == 0 ? "closed" : "open");
}

std::string askPage(int port, const std::string& request, int waitMs = 2000) {
  int fd = connectTo(port);
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got = receive(fd, waitMs);
  ::close(fd);
  return got;
}

}  // namespace

TEST(SimServerPage, RequestsThePageDoesNotMakeAreRefusedUnreadAndClosed) {
  SimProcess sim(1024);
  ASSERT_GT(sim.httpPort, 0);
  const std::string h = " HTTP/1.1\r\nHost: x\r\n";
  struct Case {
    std::string request;
    const char* answers;
  } cases[] = {
      {"POST /state" + h + "Content-Length: 5\r\n\r\nhello", "405 closed"},
      {"DELETE /state" + h + "\r\n", "405 closed"},
      {"POST /" + h + "Content-Length: 100\r\nExpect: 100-continue\r\n\r\n", "405 closed"},
      {"GET /state" + h + "Content-Length: 1025\r\n\r\n", "413 closed"},
      {"GET /state" + h + "Transfer-Encoding: chunked\r\n\r\n", "413 closed"},
      {"GET /" + h + "X: " + std::string(20000, 'a') + "\r\n\r\n", "400 closed"},
      {"GET /state" + h + "Content-Length: 4\r\n\r\nabcdGET /state" + h + "Connection: close\r\n\r\n", "200 200 closed"},
  };
  for (const Case& c : cases) EXPECT_EQ(statuses(askPage(sim.httpPort, c.request)), c.answers) << c.request.substr(0, 40);
  EXPECT_NE(askPage(sim.httpPort, "DELETE /" + h + "\r\n").find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
  // The sign has the size --size gave it.
  EXPECT_NE(askPage(sim.httpPort, "GET /state" + h + "\r\n", 500).find("\"width\":64,\"height\":16"), std::string::npos);

  // A body of 512 MiB announced: the answer comes before any of it is read,
  // and the server takes no more than the sockets' buffers hold.
  const long before = sim.residentKb();
  int fd = connectTo(sim.httpPort);
  const std::string head = "POST /" + h + "Content-Length: 536870912\r\n\r\n";
  ASSERT_EQ(::send(fd, head.data(), head.size(), 0), ssize_t(head.size()));
  EXPECT_EQ(statuses(receive(fd, 2000)), "405 closed");
  std::vector<char> chunk(1 << 20, 'x');
  size_t sent = 0;
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  for (pollfd pf{fd, POLLOUT, 0}; sent < (size_t(64) << 20) && ::poll(&pf, 1, 1000) == 1;) {
    const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += size_t(n);
  }
  ::close(fd);
  EXPECT_LT(sent, size_t(32) << 20);
  EXPECT_LT(sim.residentKb() - before, 16 * 1024);
}

TEST(SimServerPage, ClientsBeyondItsLimitsLeaveThePageAndTheControllerServed) {
  // 256 descriptors: 16 connections served by the page, 5 of them event
  // streams, and 16 more in line.
  SimProcess sim(256);
  ASSERT_GT(sim.httpPort, 0);
  const int baseline = sim.descriptors();
  std::vector<int> held;
  std::vector<std::string> streams;
  for (int i = 0; i < 9; ++i) {
    held.push_back(connectTo(sim.httpPort));
    const std::string get = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
    ::send(held.back(), get.data(), get.size(), 0);
  }
  int open = 0, refused = 0;
  for (int fd : held) {
    const std::string s = statuses(receive(fd, 2000, "retry: 1000"));
    open += s == "200 open";
    refused += s == "503 closed";
  }
  EXPECT_EQ(open, 5);
  EXPECT_EQ(refused, 4);
  // 100 clients that send nothing and 40 that send half a head: once the
  // page has made its choice, it holds 16 of them, the streams included.
  for (int i = 0; i < 140; ++i) {
    held.push_back(connectTo(sim.httpPort));
    if (i >= 100) ::send(held.back(), "GET / HT", 8, 0);
  }
  EXPECT_TRUE(WaitUntil([&] { return sim.descriptors() == baseline + 16; })) << sim.descriptors() - baseline;
  EXPECT_EQ(statuses(askPage(sim.httpPort, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")), "200 closed");
  int controller = connectTo(VEXA_TCP_PORT);
  std::vector<uint8_t> f = bytesOf(kStartPlay);
  ASSERT_EQ(::send(controller, f.data(), f.size(), 0), 19);
  const std::string reply = receive(controller, 2000, std::string("\x31\xFF\xFF", 3));
  EXPECT_EQ(hex(std::vector<uint8_t>(reply.begin(), reply.end())), kAcceptReply);
  EXPECT_LE(sim.descriptors(), baseline + 32 + 1);
  ::close(controller);
  for (int fd : held) ::close(fd);
  EXPECT_TRUE(WaitUntil([&] { return sim.descriptors() == baseline; })) << sim.descriptors() << " vs " << baseline;
}

TEST(SimServerLines, SeveralControllersPrintWholeLines) {
  // Four controllers answering frames from four senders at once: every
  // printed line is one frame's, headed by its controller's address.
  const std::string suite = TestAddress().substr(TestAddress().rfind('.') + 1);
  std::vector<std::string> addresses;
  for (int k = 1; k <= 4; ++k) addresses.push_back("127." + suite + ".7." + std::to_string(k));
  const char* dir = std::getenv("VEXA_BUILD_DIR");
  std::string path = std::string(dir && *dir ? dir : ".") + "/sim/vexa-sim";
  const std::string out = "sim-lines-" + std::to_string(::getpid()) + ".txt";
  std::vector<std::string> args = {path};
  for (const std::string& a : addresses) args.insert(args.end(), {"--address", a});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open("/dev/null", O_WRONLY), 2);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  const int frames = 400;
  const std::vector<uint8_t> f = bytesOf(kStartPlay);
  std::vector<std::thread> senders;
  std::vector<int> answered(addresses.size(), 0), sent(addresses.size(), 0);
  for (size_t k = 0; k < addresses.size(); ++k) {
    senders.emplace_back([&, k] {
      const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to{AF_INET, htons(uint16_t(VEXA_UDP_PORT)), {}, {}};
      ::inet_pton(AF_INET, addresses[k].c_str(), &to.sin_addr);
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
      uint8_t reply[64];
      for (int i = 0; i < frames; ++i) {
        pollfd pf{fd, POLLIN, 0};
        // The first frames may come before the controllers listen.
        for (int tries = 0; tries < 50; ++tries) {
          sent[k] += ::send(fd, f.data(), f.size(), 0) > 0;
          if (::poll(&pf, 1, 1000) == 1 && ::recv(fd, reply, sizeof reply, 0) > 0) {
            ++answered[k];
            break;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(20));  // refused: not listening yet
        }
      }
      ::close(fd);
    });
  }
  for (std::thread& t : senders) t.join();
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  std::ifstream in(out);
  std::map<std::string, int> lines;
  int broken = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t gap = line.find("  ");
    const std::string address = line.substr(0, gap);
    const bool whole = gap != std::string::npos && line.find("StartPlay") != std::string::npos &&
                       line.find("127.", gap) == std::string::npos;
    if (whole) ++lines[address];
    else if (++broken <= 3) ADD_FAILURE() << "not one frame's line: " << line;
  }
  std::remove(out.c_str());
  EXPECT_EQ(broken, 0);
  for (size_t k = 0; k < addresses.size(); ++k) {
    EXPECT_EQ(answered[k], frames) << addresses[k];
    // A frame sent again after a slow answer is printed again.
    EXPECT_GE(lines[addresses[k]], answered[k]) << addresses[k];
    EXPECT_LE(lines[addresses[k]], sent[k]) << addresses[k];
  }
}
