// How the emulator program holds up as a server: starts vexa-sim as a child
// process, loads it the way a hostile or merely busy network would, and
// prints its resident memory and thread count after each load.
//
//   bench_sim_load [--sim PATH] [--address A] [--datagrams N] [--pieces N] [--connections N]
//                  [--seconds S]
//
// Loads, in order: N small datagrams (a 19-byte start-play frame each, from
// one source port); N datagram pieces of 1408 bytes each announcing a frame
// of 4 GiB, from one source port; N stream connections held open and idle.
// Then, against its sign page (--http): a POST of a 512 MiB body sent
// without waiting for the answer; 200 event-stream clients; 40 clients that
// send half a request head and 100 that send nothing; after each, how long
// GET / takes and how many descriptors the program holds. Last, a second
// program answering with --reply delay:30000 and one stream client that
// sends frames for S seconds (default 10) and never reads.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
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

int descriptorsOf(pid_t pid) {
  int n = -2;  // "." and ".."
  if (DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

void report(const char* what, const Status& s) {
  std::printf("%-44s rss %7.1f MB  peak %7.1f MB  threads %ld\n", what, s.rssKb / 1024.0, s.peakKb / 1024.0,
              s.threads);
  std::fflush(stdout);
}

// Starts vexa-sim with its standard output thrown away.
pid_t startSim(const std::string& sim, std::vector<std::string> args) {
  args.insert(args.begin(), sim);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execv(sim.c_str(), argv.data());
    std::perror("exec vexa-sim");
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  return pid;
}

void stopSim(pid_t pid) {
  ::kill(pid, SIGTERM);
  int st = 0;
  ::waitpid(pid, &st, 0);
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

int connectTo(const std::string& addr, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = endpoint(addr, port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Milliseconds until GET / has been answered whole (-1: refused or no
// answer within 10 s), and its status line.
double timeGet(const std::string& addr, int port, std::string* status) {
  const auto t0 = std::chrono::steady_clock::now();
  int fd = connectTo(addr, port);
  if (fd < 0) return -1;
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
  std::string got;
  char buf[8192];
  pollfd pf{fd, POLLIN, 0};
  while (::poll(&pf, 1, 10000) > 0) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  ::close(fd);
  *status = got.substr(0, got.find('\r'));
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  return got.compare(0, 12, "HTTP/1.1 200") == 0 ? ms : -1;
}

void reportPage(const char* what, pid_t pid, const std::string& addr, int port) {
  std::string status;
  const double ms = timeGet(addr, port, &status);
  const Status s = statusOf(pid);
  std::printf("%-44s rss %7.1f MB  descriptors %4d  GET / %s in %.1f ms\n", what, s.rssKb / 1024.0,
              descriptorsOf(pid), status.c_str(), ms);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim = VEXA_SIM_PATH;
  std::string address = "127.0.0.91";
  long datagrams = 200000, pieces = 30000, connections = 1000, seconds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--sim") sim = argv[i + 1];
    else if (a == "--address") address = argv[i + 1];
    else if (a == "--datagrams") datagrams = std::atol(argv[i + 1]);
    else if (a == "--pieces") pieces = std::atol(argv[i + 1]);
    else if (a == "--connections") connections = std::atol(argv[i + 1]);
    else if (a == "--seconds") seconds = std::atol(argv[i + 1]);
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  const int udpPort = 18800, tcpPort = 18900, httpPort = 18080;
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  lim.rlim_cur = lim.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &lim);

  pid_t pid = startSim(sim, {"--address", address, "--udp-port", std::to_string(udpPort), "--tcp-port",
                             std::to_string(tcpPort), "--http", address + ":" + std::to_string(httpPort)});
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

  // The sign page.
  reportPage("sign page, idle", pid, address, httpPort);
  {
    int fd = connectTo(address, httpPort);
    const std::string head = "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 536870912\r\n\r\n";
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    std::vector<char> chunk(1 << 20, 'x');
    size_t sent = 0;
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    for (pollfd pf{fd, POLLOUT, 0}; sent < (size_t(512) << 20) && ::poll(&pf, 1, 2000) == 1;) {
      ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    ::close(fd);
    std::printf("POST of 512 MiB: %.1f MiB sent before the server closed\n", double(sent) / (1 << 20));
    reportPage("after the POST", pid, address, httpPort);
  }
  std::vector<int> page;
  for (int i = 0; i < 200; ++i) {
    page.push_back(connectTo(address, httpPort));
    const std::string get = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
    ::send(page.back(), get.data(), get.size(), MSG_NOSIGNAL);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  reportPage("200 event-stream clients", pid, address, httpPort);
  for (int i = 0; i < 140; ++i) {
    page.push_back(connectTo(address, httpPort));
    if (i < 40) ::send(page.back(), "GET / HT", 8, MSG_NOSIGNAL);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  reportPage("and 40 slow, 100 silent clients", pid, address, httpPort);
  for (int fd : page)
    if (fd >= 0) ::close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  reportPage("page clients gone", pid, address, httpPort);
  stopSim(pid);

  // Delayed answers to a client that never reads.
  pid = startSim(sim, {"--address", address, "--udp-port", std::to_string(udpPort), "--tcp-port",
                       std::to_string(tcpPort), "--reply", "delay:30000"});
  report("started with --reply delay:30000", statusOf(pid));
  {
    int fd = connectTo(address, tcpPort);
    std::vector<uint8_t> frames;
    for (int i = 0; i < 1000; ++i) frames.insert(frames.end(), startPlay.begin(), startPlay.end());
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      ssize_t n = ::send(fd, frames.data(), frames.size(), MSG_NOSIGNAL);
      if (n > 0) sent += size_t(n);
      else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("client that never reads: %.1f MiB of frames taken in %ld s\n", double(sent) / (1 << 20), seconds);
    report("while its answers wait", statusOf(pid));
    ::close(fd);
  }
  stopSim(pid);
  return 0;
}
