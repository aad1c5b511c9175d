// vexa-gateway's costs, each against a baseline measured in the same run:
//
//   latency  a call over HTTP to one emulated sign (one line-up field) and
//            the same library call made directly, one after the other:
//            p50 and p99 of each and what the gateway adds
//   load     100 emulated signs, 8 HTTP clients calling tickets to random
//            counters: calls per second and p99, against the same library
//            calls made directly by 8 threads
//   memory   the resident memory of a gateway serving 1,000 signs, against
//            the same process before the gateway started
//
//   bench_gateway [latency|load|memory]   (all three, each in a process of
//                                          its own, without an argument)
//
// The store is in $TMPDIR (default /tmp): every accepted request is one
// synchronous commit, so the disk under it is part of what is measured.
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Latency.h"
#include "SKYREL.h"
#include "VexaSim.h"
#include "gateway/Config.h"
#include "gateway/Gateway.h"
#include "gateway/HttpFront.h"

namespace {

using bench::Clock;
using bench::Ms;
using bench::Percentile;

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

std::string SignAddress(int i) { return "127.203." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1); }

// A hall of `n` signs, counter i showing on sign i's line-up field 1.
std::string Hall(int n) {
  std::string t = "[hall]\ntimeout_ms = 1000\nretries = 0\n";
  for (int i = 0; i < n; ++i) {
    t += "[[sign]]\nname = \"s" + std::to_string(i) + "\"\ntransport = \"udp\"\naddress = \"" + SignAddress(i) +
         "\"\nwidth = 64\nheight = 16\n";
  }
  for (int i = 0; i < n; ++i) {
    t += "[[counter]]\nnumber = " + std::to_string(i + 1) + "\nlineup = { sign = \"s" + std::to_string(i) +
         "\", field = 1 }\n";
  }
  return t;
}

struct Running {
  std::string dir;
  std::unique_ptr<gateway::Gateway> gateway;
  std::unique_ptr<gateway::HttpFront> front;
  ~Running() {
    front.reset();
    gateway.reset();
    std::filesystem::remove_all(dir);
  }
};

std::unique_ptr<Running> StartGateway(int signs) {
  auto r = std::make_unique<Running>();
  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexa-bench-gateway-XXXXXX";
  r->dir = ::mkdtemp(&base[0]) ? base : "";
  std::ofstream(r->dir + "/hall.toml") << Hall(signs);
  gateway::Config c;
  std::vector<hall::Mistake> mistakes;
  auto file = gateway::LoadHall(r->dir + "/hall.toml", &c, &mistakes);
  std::string why;
  auto store = gateway::Store::Open(r->dir + "/state", &why);
  if (!file || !store) {
    std::fprintf(stderr, "cannot start: %s\n", mistakes.empty() ? why.c_str() : mistakes[0].Text().c_str());
    std::exit(1);
  }
  c.httpPort = 0;
  c.token = "bench";
  r->gateway = std::make_unique<gateway::Gateway>(std::move(file), c, std::move(store), nullptr);
  r->front = std::make_unique<gateway::HttpFront>(r->gateway.get());
  if (!r->gateway->Start(&why) || !r->front->Start(&why)) {
    std::fprintf(stderr, "cannot start: %s\n", why.c_str());
    std::exit(1);
  }
  return r;
}

std::vector<std::unique_ptr<vexasim::Emulator>> Emulators(int n) {
  std::vector<std::unique_ptr<vexasim::Emulator>> out;
  for (int i = 0; i < n; ++i) {
    vexasim::Options o;
    o.address = SignAddress(i);
    o.tcp = false;
    o.keep = 16;
    out.push_back(std::make_unique<vexasim::Emulator>(o));
    if (!out.back()->start()) {
      std::fprintf(stderr, "cannot start the emulator on %s\n", o.address.c_str());
      std::exit(1);
    }
  }
  return out;
}

bool PostCall(httplib::Client& c, int counter, int ticket) {
  const std::string body = "{\"ticket\":\"A" + std::to_string(ticket % 1000) + "\",\"counter\":" +
                           std::to_string(counter) + "}";
  auto r = c.Post("/v1/call", httplib::Headers{{"Authorization", "Bearer bench"}}, body, "application/json");
  return r && r->status == 200;
}

int Direct(int sign, int ticket) {
  std::string text = "A" + std::to_string(ticket % 1000);
  std::string ip = SignAddress(sign);
  return SendLineUp_Net(&text[0], &ip[0], 1, 1, 1, 1, false);
}

void Latency() {
  auto sims = Emulators(1);
  auto g = StartGateway(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the clock at start
  SetReceiveTimeOut(1000);
  httplib::Client c("127.0.0.1", g->front->port());
  constexpr int kRounds = 2000;
  std::vector<double> http, direct;
  int failed = 0;
  for (int i = 0; i < kRounds; ++i) {
    Clock::time_point t = Clock::now();
    failed += !PostCall(c, 1, i);
    http.push_back(Ms(Clock::now() - t));
    t = Clock::now();
    failed += Direct(0, i) != 0;
    direct.push_back(Ms(Clock::now() - t));
  }
  std::printf("latency: %d calls each, %d failed\n", kRounds, failed);
  bench::PrintAgainst("HTTP call (wait)", http, "direct library call", direct, "added by the gateway");
}

void Load() {
  constexpr int kSigns = 100, kClients = 8, kCallsEach = 500;
  auto sims = Emulators(kSigns);
  auto g = StartGateway(kSigns);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  SetReceiveTimeOut(1000);
  auto run = [&](bool viaHttp, std::vector<double>* all, int* failed) {
    std::vector<std::vector<double>> each(kClients);
    std::atomic<int> bad{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
      threads.emplace_back([&, t] {
        httplib::Client c("127.0.0.1", g->front->port());
        std::mt19937 random(static_cast<unsigned>(t));
        for (int i = 0; i < kCallsEach; ++i) {
          const int sign = static_cast<int>(random() % kSigns);
          const Clock::time_point s = Clock::now();
          const bool ok = viaHttp ? PostCall(c, sign + 1, i) : Direct(sign, i) == 0;
          each[static_cast<size_t>(t)].push_back(Ms(Clock::now() - s));
          bad += !ok;
        }
      });
    }
    for (std::thread& th : threads) th.join();
    const double seconds = Ms(Clock::now() - start) / 1000;
    for (auto& v : each) all->insert(all->end(), v.begin(), v.end());
    *failed = bad;
    return kClients * kCallsEach / seconds;
  };
  std::vector<double> httpTimes, directTimes;
  int httpFailed = 0, directFailed = 0;
  const double directRate = run(false, &directTimes, &directFailed);
  const double httpRate = run(true, &httpTimes, &httpFailed);
  std::printf("load: %d signs, %d clients, %d calls each\n", kSigns, kClients, kCallsEach);
  std::printf("  direct library calls %.0f calls/s  p99 %.3f ms  (%d failed)\n", directRate,
              Percentile(directTimes, 0.99), directFailed);
  std::printf("  HTTP calls (wait)    %.0f calls/s  p99 %.3f ms  (%d failed)\n", httpRate,
              Percentile(httpTimes, 0.99), httpFailed);
  std::printf("  ratio %.2f of the direct rate\n", httpRate / directRate);
}

void Memory() {
  constexpr int kSigns = 1000;
  const long before = ResidentKiB();
  auto g = StartGateway(kSigns);
  // Every sign's clock at start (nobody answers on these addresses) and
  // some requests in the store.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  httplib::Client c("127.0.0.1", g->front->port());
  for (int i = 0; i < 1000; ++i) {
    c.Post("/v1/call?wait=false", httplib::Headers{{"Authorization", "Bearer bench"}},
           "{\"ticket\":\"A1\",\"counter\":" + std::to_string(i + 1) + "}", "application/json");
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const long after = ResidentKiB();
  std::printf("memory: %d signs (1,000 workers, one call queued for each)\n", kSigns);
  std::printf("  resident before %.1f MiB, with the gateway %.1f MiB: the gateway takes %.1f MiB (aim under 64)\n",
              before / 1024.0, after / 1024.0, (after - before) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "latency") {
    Latency();
  } else if (mode == "load") {
    Load();
  } else if (mode == "memory") {
    Memory();
  } else if (mode.empty()) {
    for (const char* m : {"latency", "load", "memory"}) {
      std::fflush(stdout);
      const pid_t pid = fork();
      if (pid == 0) {
        execl("/proc/self/exe", argv[0], m, static_cast<char*>(nullptr));
        _exit(127);
      }
      int status = 0;
      waitpid(pid, &status, 0);
    }
  } else {
    std::fprintf(stderr, "usage: bench_gateway [latency|load|memory]\n");
    return 64;
  }
  return 0;
}
