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

#include "ProcessStats.h"
#include "SKYREL.h"
#include "model/GlobalMember.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Source(int i) {
  return "127.88." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

// One controller. A connection that fails, or that brings no greeting
// within 60 s, is dialled again a second later, as controllers do.
struct Dialer {
  std::string source;
  bool silent = false;
  int fd = -1;
  bool answered = false;
  bool greeted = false;
  int dials = 0;
  Clock::time_point dialledAt{};
  Clock::time_point redialAt{};
};

void Dial(Dialer& d, const sockaddr_in& server) {
  d.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = inet_addr(d.source.c_str());
  bind(d.fd, reinterpret_cast<sockaddr*>(&self), sizeof self);
  connect(d.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
  d.dialledAt = Clock::now();
  d.greeted = false;
  ++d.dials;
}

void HangUp(Dialer& d) {
  close(d.fd);
  d.fd = -1;
  d.redialAt = Clock::now() + std::chrono::seconds(1);
}

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
  const int threadsBefore = ThreadCount();

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
    d.source = Source(i);
    d.silent = i % 10 == 9;
    Dial(d, server);
    if (!d.silent) good.insert(d.source);
  }

  // The dialling side answers each greeting (the good ones) and watches the
  // client list until every good controller is in it.
  int peakFds = 0, peakThreads = 0;
  double allRecorded = -1;
  const uint8_t answer[] = {'O', 'K'};
  while (std::chrono::duration<double>(Clock::now() - start).count() < 600) {
    std::vector<pollfd> fds;
    std::vector<Dialer*> polled;
    for (Dialer& d : dialers) {
      if (d.fd < 0 && Clock::now() >= d.redialAt) Dial(d, server);
      if (d.fd >= 0 && !d.greeted && Clock::now() - d.dialledAt > std::chrono::seconds(60)) {
        HangUp(d);
        continue;
      }
      if (d.fd >= 0 && !(d.answered || (d.silent && d.greeted))) {
        fds.push_back({d.fd, POLLIN, 0});
        polled.push_back(&d);
      }
    }
    if (!fds.empty()) {
      poll(fds.data(), fds.size(), 20);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (size_t k = 0; k < fds.size(); ++k) {
      Dialer& d = *polled[k];
      if (fds[k].revents & (POLLERR | POLLHUP)) {
        HangUp(d);
        continue;
      }
      if (!(fds[k].revents & POLLIN)) continue;
      uint8_t greeting[64];
      const ssize_t n = recv(d.fd, greeting, sizeof greeting, 0);
      if (n <= 0) {
        HangUp(d);
        continue;
      }
      d.greeted = true;
      if (!d.silent) {
        send(d.fd, answer, sizeof answer, MSG_NOSIGNAL);
        d.answered = true;
      }
    }
    int open = 0;
    for (const Dialer& d : dialers) open += d.fd >= 0 ? 1 : 0;
    peakFds = std::max(peakFds, OpenDescriptors() - fdsBefore - open);
    peakThreads = std::max(peakThreads, ThreadCount() - threadsBefore);
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
  int redials = 0;
  for (const Dialer& d : dialers) redials += d.dials - 1;
  std::printf("controllers %d (%zu answering, %zu silent)\n", count, good.size(),
              static_cast<size_t>(count) - good.size());
  if (allRecorded < 0) {
    std::printf("not every answering controller was recorded within 600 s\n");
  } else {
    std::printf("every answering controller recorded after %.1f s\n", allRecorded);
  }
  std::printf("dialled again after a failed connection: %d times\n", redials);
  std::printf("peak descriptors of the server side: %d\n", peakFds);
  std::printf("peak threads beyond those before: %d\n", peakThreads);
  for (const Dialer& d : dialers) {
    if (d.fd >= 0) close(d.fd);
  }
  return allRecorded < 0 ? 1 : 0;
}
