// A good controller dialling in behind a crowd: 300 silent dial-ins from
// distinct addresses, then a host that opens 20 connections a second from
// one address and never answers. Prints how long the good controller waits
// for its greeting (from its connect to the greeting's arrival).
//
//   bench_login_flood [silent, default 300] [port, default 19980]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"

namespace {

using Clock = std::chrono::steady_clock;

int DialFrom(const std::string& source, int port, bool blocking) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = inet_addr(source.c_str());
  bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  server.sin_addr.s_addr = inet_addr("127.0.0.1");
  connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  const int silentCount = argc > 1 ? std::atoi(argv[1]) : 300;
  const int port = argc > 2 ? std::atoi(argv[2]) : 19980;
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(4 * silentCount + 1000));
  setrlimit(RLIMIT_NOFILE, &limit);
  if (OpenServer(port) != 0) return 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  std::vector<int> held;
  for (int i = 0; i < silentCount; ++i) {
    held.push_back(DialFrom("127.77." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                            port, false));
  }
  std::atomic<bool> flooding{true};
  std::vector<int> flood;
  std::thread flooder([&] {
    while (flooding) {
      flood.push_back(DialFrom("127.78.0.1", port, false));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));

  const Clock::time_point dialled = Clock::now();
  const int good = DialFrom("127.79.0.1", port, true);
  uint8_t greeting[64];
  size_t got = 0;
  while (got < 42) {
    pollfd p{good, POLLIN, 0};
    if (poll(&p, 1, 60000) <= 0) break;
    const ssize_t n = recv(good, greeting, sizeof greeting, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const double waited = std::chrono::duration<double>(Clock::now() - dialled).count();
  flooding = false;
  flooder.join();
  std::printf("silent dial-ins ahead: %d; flooder: 20 connections a second from one address\n",
              silentCount);
  if (got < 42) {
    std::printf("the good controller was not greeted within 60 s\n");
  } else {
    std::printf("the good controller was greeted after %.3f s\n", waited);
  }
  for (int fd : held) close(fd);
  for (int fd : flood) close(fd);
  close(good);
  return got < 42 ? 1 : 0;
}
