// A hall's worth of controllers dialling in at once: 1,000 connections to the
// login server from distinct loopback addresses, one in ten of them silent
// (they never answer the greeting). Prints the time until every answering
// controller is recorded, and the peak descriptors and threads of the
// process besides the dialling side's own sockets.
//
//   bench_login [controllers, default 1000] [port, default 19990]
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "model/GlobalMember.h"

namespace {

using Clock = std::chrono::steady_clock;

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

int Threads() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 8, "Threads:") == 0) return std::atoi(line.c_str() + 8);
  }
  return -1;
}

std::string Source(int i) {
  return "127.88." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

struct Dialer {
  int fd = -1;
  bool silent = false;
  bool answered = false;
};

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int port = argc > 2 ? std::atoi(argv[2]) : 19990;
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(3 * count + 100));
  setrlimit(RLIMIT_NOFILE, &limit);

  if (OpenServer(port) != 0) return 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const int fdsBefore = OpenDescriptors();
  const int threadsBefore = Threads();

  // Every controller dials in at once (non-blocking connects).
  std::vector<Dialer> dialers(static_cast<size_t>(count));
  std::set<std::string> good;
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  server.sin_addr.s_addr = inet_addr("127.0.0.1");
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    Dialer& d = dialers[static_cast<size_t>(i)];
    d.silent = i % 10 == 9;
    d.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = inet_addr(Source(i).c_str());
    bind(d.fd, reinterpret_cast<sockaddr*>(&self), sizeof self);
    connect(d.fd, reinterpret_cast<sockaddr*>(&server), sizeof server);
    if (!d.silent) good.insert(Source(i));
  }

  // The dialling side answers each greeting (the good ones) and watches the
  // client list until every good controller is in it.
  int peakFds = 0, peakThreads = 0;
  double allRecorded = -1;
  const uint8_t answer[] = {'O', 'K'};
  while (std::chrono::duration<double>(Clock::now() - start).count() < 600) {
    std::vector<pollfd> fds;
    for (const Dialer& d : dialers) {
      if (!d.silent && !d.answered) fds.push_back({d.fd, POLLIN, 0});
    }
    if (!fds.empty())
      poll(fds.data(), fds.size(), 20);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const pollfd& p : fds) {
      if (!(p.revents & POLLIN)) continue;
      uint8_t greeting[64];
      if (recv(p.fd, greeting, sizeof greeting, 0) > 0) {
        send(p.fd, answer, sizeof answer, MSG_NOSIGNAL);
        for (Dialer& d : dialers) {
          if (d.fd == p.fd) d.answered = true;
        }
      }
    }
    peakFds = std::max(peakFds, OpenDescriptors() - fdsBefore - count);
    peakThreads = std::max(peakThreads, Threads() - threadsBefore);
    size_t recorded = 0;
    {
      std::lock_guard<std::mutex> lock(globalMember.clientLock);
      for (const auto& c : globalMember.socketClients) recorded += good.count(c.strIp);
    }
    if (recorded == good.size()) {
      allRecorded = std::chrono::duration<double>(Clock::now() - start).count();
      break;
    }
  }
  std::printf("controllers %d (%zu answering, %zu silent)\n", count, good.size(),
              static_cast<size_t>(count) - good.size());
  if (allRecorded < 0) {
    std::printf("not every answering controller was recorded within 600 s\n");
  } else {
    std::printf("every answering controller recorded after %.1f s\n", allRecorded);
  }
  std::printf("peak descriptors of the server side: %d\n", peakFds);
  std::printf("peak threads beyond those before: %d\n", peakThreads);
  for (const Dialer& d : dialers) close(d.fd);
  return allRecorded < 0 ? 1 : 0;
}
