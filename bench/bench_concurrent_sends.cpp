// Throughput of concurrent network sends: 8 application threads drive 64
// emulated controllers (UDP, one command and its reply each time), first
// through the library, then as a raw-socket client making the same system
// calls (socket, two socket options, bind, sendto, recvfrom, close).
// Prints both rates and their ratio; run it with and without VEXA_TRACE to
// see what the trace costs.
//
//   bench_concurrent_sends [seconds of each kind, default 5]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "VexaSim.h"

namespace {

constexpr int kThreads = 8;
constexpr int kControllers = 64;

std::string ControllerAddress(int k) { return "127.77.0." + std::to_string(k + 1); }

// The frame PlayShowPage_Net(ip, 1, 1) sends.
const uint8_t kPlayPage1[] = {0xFE, 0x5C, 0x4B, 0x89, 0x15, 0x00, 0x00, 0x00, 0x66, 0x00, 0x00,
                              0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0xFE, 0xFF, 0xFF};

// One exchange the way the library makes it, without the library.
bool RawExchange(const sockaddr_in& to) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  timeval tv{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  sendto(fd, kPlayPage1, sizeof kPlayPage1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
         sizeof to);
  uint8_t reply[1024];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  const bool ok =
      recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &len) > 0;
  close(fd);
  return ok;
}

// Exchanges per second over `seconds`, with each thread cycling through its
// share of the controllers; `failures` counts exchanges not accepted.
template <class Exchange>
double Rate(double seconds, Exchange exchange, std::atomic<long>& failures) {
  std::atomic<bool> stop{false};
  std::atomic<long> done{0};
  std::vector<std::thread> threads;
  const auto start = std::chrono::steady_clock::now();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      long n = 0;
      for (int i = 0; !stop; ++i) {
        const int k = t + kThreads * (i % (kControllers / kThreads));
        if (!exchange(k)) ++failures;
        ++n;
      }
      done += n;
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& th : threads) th.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return static_cast<double>(done) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  std::vector<std::unique_ptr<vexasim::Emulator>> controllers;
  std::vector<std::string> addresses;
  std::vector<sockaddr_in> destinations;
  for (int k = 0; k < kControllers; ++k) {
    vexasim::Options o;
    o.address = ControllerAddress(k);
    o.tcp = false;
    o.keep = 16;
    controllers.push_back(std::make_unique<vexasim::Emulator>(o));
    std::string error;
    if (!controllers.back()->start(&error)) {
      std::fprintf(stderr, "cannot start controller %s: %s\n", o.address.c_str(), error.c_str());
      return 1;
    }
    addresses.push_back(o.address);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(VEXA_UDP_PORT);
    to.sin_addr.s_addr = inet_addr(o.address.c_str());
    destinations.push_back(to);
  }
  char any[] = "127.0.0.1";
  BindNetworkCard(any, 0);
  SetReceiveTimeOut(1000);

  std::atomic<long> libraryFailures{0}, rawFailures{0};
  auto raw1 = [&](int k) { return RawExchange(destinations[static_cast<size_t>(k)]); };
  auto library1 = [&](int k) {
    return PlayShowPage_Net(&addresses[static_cast<size_t>(k)][0], 1, 1) == 0;
  };
  // A short warm-up of both, then runs of each in turn, so that a change in
  // the machine's load falls on both alike; the medians are compared.
  Rate(0.3, raw1, rawFailures);
  Rate(0.3, library1, libraryFailures);
  constexpr int kRuns = 5;
  std::vector<double> raws, libraries;
  for (int run = 0; run < kRuns; ++run) {
    raws.push_back(Rate(seconds / kRuns, raw1, rawFailures));
    libraries.push_back(Rate(seconds / kRuns, library1, libraryFailures));
  }
  std::sort(raws.begin(), raws.end());
  std::sort(libraries.begin(), libraries.end());
  const double raw = raws[kRuns / 2];
  const double library = libraries[kRuns / 2];
  std::printf("threads %d, controllers %d, trace %s\n", kThreads, kControllers,
              std::getenv("VEXA_TRACE") ? std::getenv("VEXA_TRACE") : "off");
  std::printf("raw sockets: %.0f exchanges/s, median of %d runs (%ld failed)\n", raw, kRuns,
              rawFailures.load());
  std::printf("library:     %.0f exchanges/s, median of %d runs (%ld failed)\n", library, kRuns,
              libraryFailures.load());
  std::printf("library / raw: %.1f %%\n", 100.0 * library / raw);
  return 0;
}
