// How the emulator program holds up as a server: starts vexa-sim as a child
// process, loads it the way a hostile or merely busy network would, and
// prints its resident memory and thread count after each load.
//
//   bench_sim_load [--sim PATH] [--address A] [--datagrams N] [--pieces N] [--connections N]
//
// Loads, in order: N small datagrams (a 19-byte start-play frame each, from
// one source port); N datagram pieces of 1408 bytes each announcing a frame
// of 4 GiB, from one source port; N stream connections held open and idle.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifndef VEXA_SIM_PATH
#define VEXA_SIM_PATH "vexa-sim"
#endif

namespace {

struct Status {
  long rssKb = -1;
  long peakKb = -1;
  long threads = -1;
};

Status statusOf(pid_t pid) {
  Status s;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") in >> s.rssKb;
    else if (key == "VmHWM:") in >> s.peakKb;
    else if (key == "Threads:") in >> s.threads;
    std::string rest;
    std::getline(in, rest);
  }
  return s;
}

// Waits until the child's resident size has not changed for a second (it has
// worked through what is queued), at most 30 s.
Status settled(pid_t pid) {
  Status last = statusOf(pid);
  for (int i = 0; i < 60; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Status now = statusOf(pid);
    if (now.rssKb == last.rssKb && i >= 1) return now;
    last = now;
  }
  return last;
}

void report(const char* what, const Status& s) {
  std::printf("%-44s rss %7.1f MB  peak %7.1f MB  threads %ld\n", what, s.rssKb / 1024.0, s.peakKb / 1024.0,
              s.threads);
  std::fflush(stdout);
}

sockaddr_in endpoint(const std::string& addr, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  ::inet_pton(AF_INET, addr.c_str(), &a.sin_addr);
  return a;
}

// Sends count datagrams, pausing now and then so that the emulator's socket
// buffer does not simply drop most of them.
void flood(const std::string& addr, int port, const std::vector<uint8_t>& d, long count) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to = endpoint(addr, port);
  for (long i = 0; i < count; ++i) {
    ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (i % 200 == 199) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim = VEXA_SIM_PATH;
  std::string address = "127.0.0.91";
  long datagrams = 200000, pieces = 30000, connections = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--sim") sim = argv[i + 1];
    else if (a == "--address") address = argv[i + 1];
    else if (a == "--datagrams") datagrams = std::atol(argv[i + 1]);
    else if (a == "--pieces") pieces = std::atol(argv[i + 1]);
    else if (a == "--connections") connections = std::atol(argv[i + 1]);
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  const int udpPort = 18800, tcpPort = 18900;
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  lim.rlim_cur = lim.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &lim);

  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    std::string up = std::to_string(udpPort), tp = std::to_string(tcpPort);
    ::execl(sim.c_str(), sim.c_str(), "--address", address.c_str(), "--udp-port", up.c_str(), "--tcp-port",
            tp.c_str(), static_cast<char*>(nullptr));
    std::perror("exec vexa-sim");
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  report("started", statusOf(pid));

  const std::vector<uint8_t> startPlay = {0xFE, 0x5C, 0x4B, 0x89, 0x13, 0, 0, 0, 0x51, 0,
                                          0,    0,    0,    0,    0,    0, 0, 0xFF, 0xFF};
  flood(address, udpPort, startPlay, datagrams);
  report((std::to_string(datagrams) + " small datagrams").c_str(), settled(pid));

  std::vector<uint8_t> piece(1408, 0x41);
  const uint8_t head[8] = {0xFE, 0x5C, 0x4B, 0x89, 0xFF, 0xFF, 0xFF, 0xFF};
  std::memcpy(piece.data(), head, sizeof head);
  flood(address, udpPort, piece, pieces);
  report((std::to_string(pieces) + " pieces announcing 4 GiB").c_str(), settled(pid));

  std::vector<int> held;
  sockaddr_in to = endpoint(address, tcpPort);
  for (long i = 0; i < connections; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      std::fprintf(stderr, "connection %ld: %s\n", i, std::strerror(errno));
      if (fd >= 0) ::close(fd);
      break;
    }
    held.push_back(fd);
  }
  report((std::to_string(held.size()) + " idle stream connections").c_str(), settled(pid));
  for (int fd : held) ::close(fd);
  report("connections closed", settled(pid));

  ::kill(pid, SIGTERM);
  int st = 0;
  ::waitpid(pid, &st, 0);
  return 0;
}
